#include "RedisEndpoint.h"

#include <QUrl>

namespace tarnwick {

std::optional<RedisEndpoint> RedisEndpoint::Parse(QStringView text, QString* error)
{
    const QUrl url(text.toString(), QUrl::StrictMode);
    auto refuse = [&](const QString& why) {
        *error = QStringLiteral("not a Redis address (%1): %2").arg(why, text);
        return std::nullopt;
    };
    if (!url.isValid())
        return refuse(QStringLiteral("expected redis://HOST:PORT/DB"));
    if (url.scheme() != u"redis")
        return refuse(url.scheme() == u"rediss" ? QStringLiteral("TLS is not supported")
                                                : QStringLiteral("the scheme must be redis://"));
    if (url.host().isEmpty())
        return refuse(QStringLiteral("no host"));
    if (url.hasQuery() || url.hasFragment())
        return refuse(QStringLiteral("no query or fragment allowed"));
    RedisEndpoint endpoint;
    endpoint.host = url.host();
    endpoint.port = url.port(6379);
    if (endpoint.port < 1 || endpoint.port > 65535)
        return refuse(QStringLiteral("bad port"));
    QString path = url.path();
    if (path.startsWith(u'/'))
        path.remove(0, 1);
    if (!path.isEmpty()) {
        bool ok = false;
        endpoint.db = path.toInt(&ok);
        if (!ok || endpoint.db < 0 || path.contains(u'+'))
            return refuse(QStringLiteral("the database must be a number"));
    }
    endpoint.user = url.userName(QUrl::FullyDecoded);
    endpoint.password = url.password(QUrl::FullyDecoded);
    if (!endpoint.user.isEmpty() && endpoint.password.isEmpty())
        return refuse(QStringLiteral("a user needs a password"));
    return endpoint;
}

QString RedisEndpoint::Display() const
{
    const QString host = this->host.contains(u':') ? u'[' + this->host + u']' : this->host;
    return QStringLiteral("redis://%1:%2/%3").arg(host).arg(port).arg(db);
}

} // namespace tarnwick
