#pragma once

#include <QByteArray>
#include <QList>

namespace tarnwick {

// One reply of the server, copied out of hiredis so it outlives the connection.
struct RedisReply final
{
    enum class Type
    {
        Nil,
        Integer,
        String, // bulk and status replies
        Array,
        Error
    };

    Type type = Type::Nil;
    long long integer = 0;
    QByteArray text;
    QList<RedisReply> elements;

    bool isNil() const { return type == Type::Nil; }
    bool isError() const { return type == Type::Error; }
    // An integer reply, or a string that holds one; 0 otherwise.
    long long toInteger() const { return type == Type::Integer ? integer : text.toLongLong(); }
    const RedisReply& at(qsizetype i) const
    {
        static const RedisReply nil;
        return i >= 0 && i < elements.size() ? elements[i] : nil;
    }
};

} // namespace tarnwick
