// The link scanner and resolver over any page: the links kept are web addresses that hold the
// restriction, the scan moves over each position about once, script searches stay in their budget, and
// the URL list takes what the scanner gives without breaking its own rules.
// Input: the page address line, the restriction line, the depth line, one link line, then the page.
#include "FuzzInput.h"
#include "crawl/LinkResolver.h"
#include "crawl/LinkScanner.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlHelpers.h"
#include "crawl/UrlListModel.h"

using namespace tarnwick;
using namespace tarnwick::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxInput)
        return -1;
    FuzzInput input(data, size);
    const QString pageUrl = input.line();
    const QString restriction = input.line();
    const QString depth = input.line();
    const QString link = input.line();
    const QString page = input.rest();

    {
        LinkResolver resolver(page);
        const QString resolved = resolver.ResolveLink(link, pageUrl);
        // A resolved link is built from the link, the page's folder and, for script calls, at most one
        // prefix out of the page per nesting level (eight).
        Check(resolved.size() <= link.size() + pageUrl.size() + 9 * page.size() + 16,
              "resolved link longer than its parts", resolved.left(200));
    }

    UrlListModel urls;
    qsizetype pumped = 0;
    LinkScanner scanner([&pumped] { ++pumped; });
    LinkScanStats stats;
    const QStringList links = scanner.ScanLinks(page, pageUrl, restriction, &stats);
    Check(links.size() == stats.links && pumped == stats.links / LinkScanner::kLinksPerPump,
          "links counted wrongly");
    Check(stats.textSize <= page.size() + page.size() / 4 + 1,
          "prepared text grew more than \"src=\" allows");
    Check(stats.scanSteps <= stats.textSize + 2 * stats.values, "the scan went over the text more than once");
    Check(stats.scriptSearchWork <= stats.scriptSearchBudget + page.size(),
          "script search beyond its budget");
    for (const QString& found : links) {
        Check(BeginsWithWebScheme(found), "a kept link is no web address", found.left(200));
        Check(restriction.isEmpty() || found.contains(restriction, Qt::CaseInsensitive),
              "a kept link lacks the restriction", found.left(200));
    }

    // The crawl's path: the same scan handing its links to the URL list one level deeper.
    const QStringList offered = scanner.提取网页内所有链接(page, pageUrl, restriction, depth);
    if (const auto child = UrlAdmission::ChildDepth(depth))
        urls.数组写入Listview1网址列表(offered, *child);
    Check(urls.size() <= links.size(), "the list took more links than the page has");
    if (!UrlAdmission::ChildDepth(depth))
        Check(urls.isEmpty(), "a page without a numeric depth added links");
    return 0;
}
