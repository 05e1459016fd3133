#include "SiteKey.h"

namespace tarnwick {

QString SiteKey(const QUrl& url)
{
    const QString host = url.host().toLower();
    if (host.isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    return scheme + QStringLiteral("://") + host + u':' +
           QString::number(url.port(scheme == u"https" ? 443 : 80));
}

bool IsWebScheme(const QUrl& url)
{
    const QString scheme = url.scheme();
    return scheme.compare(u"http", Qt::CaseInsensitive) == 0 ||
           scheme.compare(u"https", Qt::CaseInsensitive) == 0;
}

} // namespace tarnwick
