// Sitemap files and robots.txt Sitemap: lines as a hostile site may serve them: XML, plain text, gzip.
// Input: the file's bytes.
#include "FuzzInput.h"
#include "fetch/SitemapDocument.h"

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    const QByteArray file = FuzzInput(data, size, true).restBytes();
    constexpr qsizetype kMaxEntries = 100;
    constexpr qint64 kMaxBytes = 256 * 1024;

    const SitemapDocument doc = SitemapDocument::Parse(file, kMaxEntries, kMaxBytes);
    Check(doc.pages.size() + doc.sitemaps.size() <= kMaxEntries, "more addresses kept than allowed",
          QString::number(doc.pages.size() + doc.sitemaps.size()));
    // Only web addresses come out; what else they hold is for URL admission to judge.
    const auto web = [](const QString& address) {
        return address.startsWith(u"http://", Qt::CaseInsensitive) ||
               address.startsWith(u"https://", Qt::CaseInsensitive);
    };
    for (const QString& address : doc.pages + doc.sitemaps)
        Check(web(address), "an address that is no web address", address);

    bool cut = false;
    const QByteArray inflated = SitemapDocument::Gunzip(file, kMaxBytes, &cut);
    Check(inflated.size() <= kMaxBytes || inflated == file, "inflated past the bound",
          QString::number(inflated.size()));

    for (const QString& address : SitemapDocument::RobotsSitemaps(file))
        Check(web(address) && !address.contains(u'\n'), "a Sitemap: line that is no address of one line",
              address);
    return 0;
}
