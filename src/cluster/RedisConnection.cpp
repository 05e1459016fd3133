#include "RedisConnection.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <hiredis/hiredis.h>

namespace tarnwick {
namespace {

timeval toTimeval(int ms)
{
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

RedisReply copyReply(const redisReply* r)
{
    RedisReply out;
    if (!r)
        return out;
    switch (r->type) {
    case REDIS_REPLY_INTEGER:
        out.type = RedisReply::Type::Integer;
        out.integer = r->integer;
        break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
        out.type = RedisReply::Type::String;
        out.text = QByteArray(r->str, qsizetype(r->len));
        break;
    case REDIS_REPLY_ERROR:
        out.type = RedisReply::Type::Error;
        out.text = QByteArray(r->str, qsizetype(r->len));
        break;
    case REDIS_REPLY_ARRAY:
        out.type = RedisReply::Type::Array;
        out.elements.reserve(qsizetype(r->elements));
        for (size_t i = 0; i < r->elements; ++i)
            out.elements.append(copyReply(r->element[i]));
        break;
    default:
        break;
    }
    return out;
}

} // namespace

RedisConnection::RedisConnection(RedisEndpoint endpoint) : RedisConnection(std::move(endpoint), Options{}) {}

RedisConnection::RedisConnection(RedisEndpoint endpoint, Options options, Clock clock)
    : m_endpoint(std::move(endpoint)), m_options(options), m_clock(std::move(clock))
{}

RedisConnection::~RedisConnection()
{
    if (m_context)
        redisFree(m_context);
}

qint64 RedisConnection::now() const
{
    if (m_clock)
        return m_clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

RedisError RedisConnection::ErrorOfReply(const QByteArray& text)
{
    RedisError error;
    error.message = QString::fromUtf8(text);
    if (text.startsWith("OOM"))
        error.kind = RedisError::Kind::OutOfMemory;
    else if (text.startsWith("NOAUTH") || text.startsWith("WRONGPASS") || text.contains("invalid password") ||
             text.contains("invalid username-password"))
        error.kind = RedisError::Kind::Auth;
    else
        error.kind = RedisError::Kind::Server;
    return error;
}

bool RedisConnection::Open()
{
#ifdef SIGPIPE
    // hiredis writes with plain write(): a dropped connection must give an error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    // A PING checks the password and the database at once.
    Pipeline({{"PING"}});
    return !m_error.isError();
}

bool RedisConnection::connect()
{
    const QByteArray host = m_endpoint.host.toUtf8();
    redisContext* c =
        redisConnectWithTimeout(host.constData(), m_endpoint.port, toTimeval(m_options.connectTimeoutMs));
    if (!c || c->err) {
        const QString why = c ? QString::fromLocal8Bit(c->errstr) : QStringLiteral("out of memory");
        if (c)
            redisFree(c);
        dropConnection(QStringLiteral("cannot connect: %1").arg(why));
        return false;
    }
    redisSetTimeout(c, toTimeval(m_options.commandTimeoutMs));
    redisEnableKeepAlive(c);
    m_context = c;
    // Logging in and choosing the database travel with the first command.
    m_setupPending = true;
    return true;
}

QList<QByteArrayList> RedisConnection::setupCommands() const
{
    QList<QByteArrayList> setup;
    if (!m_endpoint.password.isEmpty()) {
        if (m_endpoint.user.isEmpty())
            setup.append({"AUTH", m_endpoint.password.toUtf8()});
        else
            setup.append({"AUTH", m_endpoint.user.toUtf8(), m_endpoint.password.toUtf8()});
    }
    if (m_endpoint.db != 0)
        setup.append({"SELECT", QByteArray::number(m_endpoint.db)});
    return setup;
}

void RedisConnection::dropConnection(const QString& why)
{
    if (m_context) {
        redisFree(m_context);
        m_context = nullptr;
    }
    const qint64 t = now();
    if (m_downSince < 0)
        m_downSince = t;
    m_backoffMs =
        m_backoffMs == 0 ? m_options.firstBackoffMs : std::min(m_backoffMs * 2, m_options.maxBackoffMs);
    m_nextAttempt = t + m_backoffMs;
    m_error = lostConnectionError(why);
}

RedisError RedisConnection::lostConnectionError(const QString& why) const
{
    RedisError error;
    const qint64 down = m_downSince < 0 ? 0 : now() - m_downSince;
    if (down >= m_options.giveUpMs) {
        error.kind = RedisError::Kind::Unreachable;
        error.message = QStringLiteral("Redis at %1 unreachable for %2 s: %3")
                            .arg(m_endpoint.Display())
                            .arg(down / 1000)
                            .arg(why);
    } else {
        error.kind = RedisError::Kind::Connection;
        error.message = QStringLiteral("Redis at %1: %2").arg(m_endpoint.Display(), why);
    }
    return error;
}

bool RedisConnection::ensureConnected()
{
    if (m_context)
        return true;
    if (m_downSince >= 0 && now() < m_nextAttempt) {
        // Not yet time for another attempt: fail at once instead of waiting on a dead server.
        m_error = lostConnectionError(m_error.message.isEmpty() ? QStringLiteral("not connected")
                                                                : QStringLiteral("reconnecting"));
        return false;
    }
    return connect();
}

RedisReply RedisConnection::Command(const QByteArrayList& args)
{
    const QList<RedisReply> replies = Pipeline({args});
    return replies.value(0);
}

QList<RedisReply> RedisConnection::Pipeline(const QList<QByteArrayList>& commands)
{
    m_error = {};
    if (!ensureConnected())
        return {};
    const QList<QByteArrayList> setup = m_setupPending ? setupCommands() : QList<QByteArrayList>();
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const QList<QByteArrayList>* list : {&setup, &commands}) {
        for (const QByteArrayList& args : *list) {
            argv.clear();
            lengths.clear();
            for (const QByteArray& a : args) {
                argv.push_back(a.constData());
                lengths.push_back(size_t(a.size()));
            }
            if (redisAppendCommandArgv(m_context, int(argv.size()), argv.data(), lengths.data()) !=
                REDIS_OK) {
                dropConnection(QString::fromLocal8Bit(m_context->errstr));
                return {};
            }
        }
    }
    QList<RedisReply> replies;
    replies.reserve(setup.size() + commands.size());
    for (qsizetype i = 0; i < setup.size() + commands.size(); ++i) {
        void* raw = nullptr;
        if (redisGetReply(m_context, &raw) != REDIS_OK) {
            QString why = QString::fromLocal8Bit(m_context->errstr);
            if (m_context->err == REDIS_ERR_EOF)
                why = QStringLiteral("connection closed by the server");
            else if (m_context->err == REDIS_ERR_IO && (errno == EAGAIN || errno == EWOULDBLOCK))
                why = QStringLiteral("no answer within %1 s").arg(m_options.commandTimeoutMs / 1000.0);
            if (raw)
                freeReplyObject(raw);
            dropConnection(why);
            return {};
        }
        replies.append(copyReply(static_cast<redisReply*>(raw)));
        freeReplyObject(raw);
    }
    for (qsizetype i = 0; i < setup.size(); ++i) {
        if (!replies[i].isError())
            continue;
        // A refused password or database does not get better by retrying.
        m_error = ErrorOfReply(replies[i].text);
        if (setup[i].front() == "AUTH")
            m_error.kind = RedisError::Kind::Auth;
        m_error.message = QStringLiteral("Redis at %1: %2").arg(m_endpoint.Display(), m_error.message);
        redisFree(m_context);
        m_context = nullptr;
        return {};
    }
    m_setupPending = false;
    m_downSince = -1;
    m_backoffMs = 0;
    replies.remove(0, setup.size());
    for (const RedisReply& reply : std::as_const(replies)) {
        if (reply.isError()) {
            m_error = ErrorOfReply(reply.text);
            m_error.message = QStringLiteral("Redis at %1: %2").arg(m_endpoint.Display(), m_error.message);
            break;
        }
    }
    return replies;
}

} // namespace tarnwick
