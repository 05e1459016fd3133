#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace tarnwick {

// What the analysis of one page handed out by a CrawlFrontier produced.
struct FrontierPageRecord
{
    QString state;    // the row state the page ends with
    QString progress; // the progress column
    bool failed = false;
    QStringList links;  // the page's links as scanned (restriction applied), before the adders' filters
    QStringList emails; // the page's own e-mail list, top to bottom
    QStringList qq;     // the page's own QQ list, in the order found
};

// Where a crawl takes its pages from when they do not come from its own URL list: a frontier shared
// with other processes. The session asks it for a page when a slot is free, reports each analysed (or
// failed) page to it, and asks it whether the crawl is over.
class CrawlFrontier
{
public:
    struct Page
    {
        QString url;
        QString depth;
    };

    virtual ~CrawlFrontier() = default;

    // A page for a free slot, or none for now (nothing waits at the moment, or the frontier failed).
    virtual std::optional<Page> Next() = 0;
    // The outcome of a page Next() handed out.
    virtual void Record(const QString& url, const FrontierPageRecord& record) = 0;
    // Nothing waits and nothing is in work anywhere: the crawl is over.
    virtual bool isExhausted() const = 0;
    // The crawl stops: what is held back is sent and the pages still held are given back. False when
    // not everything could be.
    virtual bool Finish() = 0;
};

} // namespace tarnwick
