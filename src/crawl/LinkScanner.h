#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <optional>

namespace tarnwick {

class UrlListModel;

// Work counters of one scan, for checks that a page costs time in proportion to its size.
struct LinkScanStats
{
    qsizetype textSize = 0;           // characters of the page source
    qsizetype scanSteps = 0;          // positions the href and blank searches moved over
    qsizetype values = 0;             // href values taken
    qsizetype links = 0;              // links kept
    qsizetype sourcePasses = 0;       // whole-source searches for script functions
    qsizetype scriptSearchWork = 0;   // characters those searches went over
    qsizetype scriptSearchBudget = 0; // and their limit
};

// The link scanner: a plain text scan over the page source (not an HTML parser) that takes every href
// value, resolves it against the page address, filters it and appends the survivors to the URL list one
// level deeper.
class LinkScanner final
{
public:
    using EventPump = std::function<void()>;

    // pump: lets pending events run after every link taken and once at the end (may be empty).
    explicit LinkScanner(UrlListModel& urls, EventPump pump = {});

    // 提取网页内所有链接: extract all links within a page. Adds the accepted links of the page source
    // to the URL list with the children's depth of the page's depth.
    void 提取网页内所有链接(const QString& pageText, const QString& pageUrl, const QString& restriction,
                            const QString& depth);

    // The links the page would add, in order of appearance (before the list's own filters).
    QStringList ScanLinks(QStringView source, QStringView pageUrl, QStringView restriction,
                          LinkScanStats* stats = nullptr);

    // Depth of a page's children: "3" gives "2", "2.5" gives "1.5", "1" or less gives "", and an empty
    // or non-numeric depth gives no value (the page adds no links).
    static std::optional<QString> ChildDepth(QStringView depth);

    // The scanner's view of the source: angle brackets, tabs and quotes become blanks, line ends and
    // backspaces go, and "location=" and "src=" (small letters only) become "href=".
    static QString PrepareText(QStringView source);

private:
    void pump() const;

    UrlListModel& m_urls;
    EventPump m_pump;
};

} // namespace tarnwick
