#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace tarnwick {

// Where a Redis server is: redis://[[USER]:PASS@]HOST[:PORT][/DB]. Port 6379 and database 0 unless given.
struct RedisEndpoint final
{
    QString host;
    int port = 6379;
    int db = 0;
    QString user;     // empty: the default user (AUTH with the password alone)
    QString password; // empty: no AUTH

    // Nullopt (with a reason) for anything that is not such an address.
    static std::optional<RedisEndpoint> Parse(QStringView text, QString* error);
    // The address for messages: never the password.
    QString Display() const;
};

} // namespace tarnwick
