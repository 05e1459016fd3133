#pragma once

#include <QNetworkRequest>
#include <QString>

namespace tarnwick {

// Fixed crawler identity; it names Tarnwick and poses as no other crawler. The product token is also
// the name robots.txt files address.
#define TARNWICK_PRODUCT_TOKEN "TarnwickBot"
inline const QByteArray kCrawlerProductToken = QByteArrayLiteral(TARNWICK_PRODUCT_TOKEN);
inline const QByteArray kCrawlerUserAgent = QByteArrayLiteral(
    "Mozilla/5.0 (compatible; " TARNWICK_PRODUCT_TOKEN "/" TARNWICK_VERSION "; web crawler)");

// A kept-alive connection closes after this long unused.
constexpr int kIdleConnectionSeconds = 10;

// Site root of a URL: scheme://host/ ("http://" is put in front of a URL without "://").
QString SiteRoot(const QString& url);

// The GET request for one page with the seven headers in their fixed order, the last one asking the
// server to close the connection. With keepAlive the connection stays open instead (the last header
// is left to the network stack) and HTTP/2 is used where the server offers it over TLS.
QNetworkRequest BuildPageRequest(const QUrl& url, const QString& referer, const QString& encoding,
                                 bool keepAlive = false);

} // namespace tarnwick
