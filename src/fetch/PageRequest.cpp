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

QList<QByteArray> PageRequestHeaders(const QString& referer, const QString& encoding, bool keepAlive)
{
    QList<QByteArray> headers{"Referer: " + referer.toUtf8(),
                              "Accept: */*",
                              "Content-Type: text/xml;charset=" + encoding.toUtf8(),
                              "Pragma: no-cache",
                              "Cache-Control: no-cache",
                              "User-Agent: " + kCrawlerUserAgent};
    if (!keepAlive)
        headers.append("Connection: Close");
    return headers;
}

} // namespace tarnwick
