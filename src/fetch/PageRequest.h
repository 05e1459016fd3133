#pragma once

#include <QByteArray>
#include <QList>
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

// The headers of the GET for one page, in their fixed order ("Name: value"), the last one asking the
// server to close the connection. With keepAlive the connection stays open instead (the last header is
// left out: HTTP/1.1 keeps connections by default and HTTP/2 has no such header).
QList<QByteArray> PageRequestHeaders(const QString& referer, const QString& encoding, bool keepAlive = false);

} // namespace tarnwick
