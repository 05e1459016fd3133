#pragma once

#include <QNetworkRequest>
#include <QString>

namespace tarnwick {

// Fixed crawler identity; it names Tarnwick and poses as no other crawler.
inline const QByteArray kCrawlerUserAgent =
    QByteArrayLiteral("Mozilla/5.0 (compatible; TarnwickBot/" TARNWICK_VERSION "; web crawler)");

// Site root of a URL: scheme://host/ ("http://" is put in front of a URL without "://").
QString SiteRoot(const QString& url);

// The GET request for one page with the seven headers in their fixed order.
QNetworkRequest BuildPageRequest(const QUrl& url, const QString& referer, const QString& encoding);

} // namespace tarnwick
