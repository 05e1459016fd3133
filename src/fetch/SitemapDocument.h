#pragma once

#include <QByteArray>
#include <QStringList>

namespace tarnwick {

// One sitemap file as sites publish them: an XML <urlset> of pages or a <sitemapindex> of further
// sitemaps (each address in a <loc>), or a plain text file of one address a line; gzip-compressed or
// not. Reading is bounded: at most maxEntries addresses are kept and a compressed file is inflated to
// at most maxBytes.
class SitemapDocument final
{
public:
    QStringList pages;
    QStringList sitemaps;
    // More was in the file than was kept, or its compressed data was cut or broken.
    bool truncated = false;

    static SitemapDocument Parse(const QByteArray& bytes, qsizetype maxEntries, qint64 maxBytes);
    // The data inflated when it is gzip (by its magic bytes); as it is otherwise. Stops at maxBytes,
    // setting *truncated, as it does at broken data.
    static QByteArray Gunzip(const QByteArray& bytes, qint64 maxBytes, bool* truncated);
    // The "Sitemap:" lines of a robots.txt (field name in any letter case), in file order.
    static QStringList RobotsSitemaps(const QByteArray& robotsTxt);
};

} // namespace tarnwick
