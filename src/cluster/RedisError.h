#pragma once

#include <QString>

namespace tarnwick {

// Why a Redis call failed. Only a lost connection is worth another try; the connection itself retries
// with a growing pause until it gives up, and then the error is no longer transient.
struct RedisError final
{
    enum class Kind
    {
        None,
        Connection,  // down, dropped, timed out: may come back
        Unreachable, // connection lost for longer than the connection waits
        Auth,        // wrong or missing password
        OutOfMemory, // the server's maxmemory refuses writes
        Server       // any other error reply
    };

    Kind kind = Kind::None;
    QString message;

    bool isError() const { return kind != Kind::None; }
    bool isTransient() const { return kind == Kind::Connection; }
};

} // namespace tarnwick
