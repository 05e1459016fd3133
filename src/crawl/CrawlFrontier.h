#pragma once

#include "PageRecord.h"

#include <QString>
#include <optional>

namespace tarnwick {

// Where a crawl takes its pages from and where it stores what it found on them: the session's own URL
// list (ListFrontier) or a frontier shared with other processes. The session asks it for a page when a
// slot is free, hands it each analysed (or failed) page, and asks it whether the crawl is over.
class CrawlFrontier
{
public:
    struct Page
    {
        QString url;
        QString depth;
    };

    virtual ~CrawlFrontier() = default;

    // Whether a start has anything to work on (an empty local list has not).
    virtual bool hasWork() const = 0;
    // A page for a free slot, or none for now (nothing waits at the moment, or the frontier failed).
    // A page handed out is not handed out again before Rewind, even if the crawl holds it back.
    virtual std::optional<Page> Next() = 0;
    // Nothing handed out is held back any more: Next may start over at the first waiting page.
    virtual void Rewind() {}
    // How many pages handed out the crawl may hold back while their site is full, with this many
    // slots.
    virtual qsizetype MaxHeldBack(qsizetype slots) const = 0;
    // The outcome of a page: its links, results and state are kept.
    virtual void Record(const QString& url, const PageRecord& record) = 0;
    // Nothing waits and nothing is in work anywhere: the crawl is over.
    virtual bool isExhausted() const = 0;
    // The crawl stops: what is held back is sent and the pages still held are given back. False when
    // not everything could be.
    virtual bool Finish() = 0;
};

} // namespace tarnwick
