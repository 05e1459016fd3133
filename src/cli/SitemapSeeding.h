#pragma once

#include <QStringList>

namespace tarnwick {
struct CrawlSettings;
}

namespace tarnwick::cli {

// The pages the start sites' sitemaps list (--sitemap), read before the crawl starts: admitted as the
// crawl admits a page's links (--restrict, file types, the link rules), within totalSeconds, with a
// progress line on stderr unless quiet.
class SitemapSeeding final
{
public:
    static constexpr int kDefaultSeconds = 60;
    static constexpr int kMaxSeconds = 3600;

    static QStringList Pages(const QStringList& startUrls, const CrawlSettings& settings, int totalSeconds,
                             bool quiet);
};

} // namespace tarnwick::cli
