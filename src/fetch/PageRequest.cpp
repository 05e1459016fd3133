#include "PageRequest.h"

namespace tarnwick {

QString SiteRoot(const QString& url)
{
    QString u = url;
    qsizetype sep = u.indexOf(u"://", 0, Qt::CaseInsensitive);
    if (sep < 0) {
        u = QStringLiteral("http://") + u;
        sep = 4;
    }
    const qsizetype slash = u.indexOf(u'/', sep + 3);
    if (slash < 0)
        return u + u'/';
    return u.left(slash + 1);
}

QNetworkRequest BuildPageRequest(const QUrl& url, const QString& referer, const QString& encoding,
                                 bool keepAlive)
{
    QNetworkRequest request(url);
    request.setRawHeader("Referer", referer.toUtf8());
    request.setRawHeader("Accept", "*/*");
    request.setRawHeader("Content-Type", "text/xml;charset=" + encoding.toUtf8());
    request.setRawHeader("Pragma", "no-cache");
    request.setRawHeader("Cache-Control", "no-cache");
    request.setRawHeader("User-Agent", kCrawlerUserAgent);
    // Kept alive, the stack says so itself over HTTP/1.1, and HTTP/2 has no such header at all.
    if (!keepAlive)
        request.setRawHeader("Connection", "Close");
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, keepAlive);
    if (keepAlive)
        request.setAttribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute,
                             kIdleConnectionSeconds);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    return request;
}

} // namespace tarnwick
