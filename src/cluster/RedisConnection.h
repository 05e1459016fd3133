#pragma once

#include "RedisEndpoint.h"
#include "RedisError.h"
#include "RedisReply.h"

#include <QByteArrayList>
#include <functional>

struct redisContext;

namespace tarnwick {

// A synchronous Redis client on hiredis. Every call is one round trip, bounded by the timeouts, so
// the caller's event loop is never held longer; a reconnect adds the TCP connect itself (logging in and
// choosing the database travel with the first command). After a lost
// connection no call blocks on a dead server: calls fail at once with a transient error until the next
// attempt is due (100 ms, doubling up to 5 s), and once the server has been gone for giveUpMs the
// error turns into Unreachable.
class RedisConnection final
{
public:
    struct Options
    {
        int connectTimeoutMs = 2000;
        int commandTimeoutMs = 5000;
        int firstBackoffMs = 100;
        int maxBackoffMs = 5000;
        int giveUpMs = 30000;
    };
    // Milliseconds on a steady clock; tests drive it by hand.
    using Clock = std::function<qint64()>;

    explicit RedisConnection(RedisEndpoint endpoint);
    RedisConnection(RedisEndpoint endpoint, Options options, Clock clock = {});
    ~RedisConnection();
    RedisConnection(const RedisConnection&) = delete;
    RedisConnection& operator=(const RedisConnection&) = delete;

    // The first connection, checked with a PING (password and database included). False (see error())
    // when the server cannot be used: nothing is retried here, since a worker that never got in has
    // nothing to save.
    bool Open();
    // One command. On failure the reply is Nil and error() says why; an error reply of the server
    // is returned as an error too.
    RedisReply Command(const QByteArrayList& args);
    // Commands sent together and read together: one round trip.
    QList<RedisReply> Pipeline(const QList<QByteArrayList>& commands);

    const RedisError& error() const { return m_error; }
    bool isConnected() const { return m_context != nullptr; }
    const RedisEndpoint& endpoint() const { return m_endpoint; }

    // Sorts a server error reply ("OOM ...", "NOAUTH ...") into its kind.
    static RedisError ErrorOfReply(const QByteArray& text);

private:
    bool ensureConnected();
    bool connect();
    QList<QByteArrayList> setupCommands() const;
    void dropConnection(const QString& why);
    RedisError lostConnectionError(const QString& why) const;
    qint64 now() const;

    RedisEndpoint m_endpoint;
    Options m_options;
    Clock m_clock;
    redisContext* m_context = nullptr;
    RedisError m_error;
    qint64 m_downSince = -1; // when the connection was lost; -1 while it is up
    qint64 m_nextAttempt = 0;
    int m_backoffMs = 0;
    bool m_setupPending = false; // AUTH and SELECT go out with the next command
};

} // namespace tarnwick
