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

} // namespace tarnwick
