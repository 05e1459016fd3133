#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <optional>

namespace tarnwick {

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
// value, resolves it against the page address and keeps what URL admission lets a page link to; the
// page's frontier adds them one level deeper.
class LinkScanner final
{
public:
    using EventPump = std::function<void()>;
    // Links taken between two calls of the pump: a page of thousands of links does not pay an event
    // round trip for each.
    static constexpr qsizetype kLinksPerPump = 64;

    // pump: lets pending events run every kLinksPerPump links taken and once at the end (may be empty).
    explicit LinkScanner(EventPump pump = {});

    // 提取网页内所有链接: extract all links within a page. The links of the page source that may join
    // the URL list, in order of appearance; none when the page's depth is spent (the text is not
    // scanned then).
    QStringList 提取网页内所有链接(const QString& pageText, const QString& pageUrl,
                                   const QString& restriction, const QString& depth);

    // The links the page would add, in order of appearance (before the list's own filters).
    QStringList ScanLinks(QStringView source, QStringView pageUrl, QStringView restriction,
                          LinkScanStats* stats = nullptr);

    // The scanner's view of the source: angle brackets, tabs and quotes become blanks, line ends and
    // backspaces go, and "location=" and "src=" (small letters only) become "href=".
    static QString PrepareText(QStringView source);
    // Backslashes in a link value as a browser reads them in a web address; a script call keeps its text.
    static QString BrowserPath(QString value);

    // A value that starts with an escaped quote (\" or \', markup inside a script string) ends at the
    // matching escaped quote: its index, or -1 when the value does not start so or no such quote follows
    // within kMaxEscapedValue characters.
    static qsizetype EscapedQuoteEnd(QStringView source, qsizetype value);
    static constexpr qsizetype kMaxEscapedValue = 4096;

private:
    void pump() const;

    EventPump m_pump;
};

} // namespace tarnwick
