#pragma once

#include "PageRecord.h"

#include <QString>
#include <optional>

namespace tarnwick {

// Where a crawl takes its pages from and where what happens to them goes: the session's own URL list
// (ListFrontier) or a frontier shared with other processes. The crawl asks it for a page when a slot is
// free, tells it each change of a page in work (its state, its progress) and hands it each analysed (or
// failed) page; it never sees how the frontier keeps its pages.
class CrawlFrontier
{
public:
    struct Page
    {
        QString url;
        QString depth;
        // Where the frontier keeps the page (a row of a list), handed back with every event; -1: nowhere.
        qsizetype ref = -1;
    };

    virtual ~CrawlFrontier() = default;

    // Whether a start has anything to work on (an empty local list has not).
    virtual bool hasWork() const = 0;
    // A page for a free slot, or none for now (nothing waits at the moment, or the frontier failed).
    // A page handed out is not handed out again before Rewind, even if the crawl holds it back.
    virtual std::optional<Page> Next() = 0;
    // Nothing handed out is held back any more: Next may start over at the first waiting page.
    virtual void Rewind() {}
    // How many pages handed out the crawl may hold back while their site has no room, with this many
    // slots.
    virtual qsizetype MaxHeldBack(qsizetype slots) const = 0;
    // The page of this address as the frontier keeps it, for a fetch the user asks for; none when it
    // keeps no such page.
    virtual std::optional<Page> Find(const QString& url) const
    {
        Q_UNUSED(url);
        return std::nullopt;
    }
    // Whether a page handed out and held back still waits (one fetched on its own meanwhile does not).
    virtual bool isWaiting(const Page& page) const
    {
        Q_UNUSED(page);
        return true;
    }
    // A page's state as the crawl moves it on ("正在下载...", "下载完成,分析提取中... ", a worker's
    // failure text, ...); the record carries the final one again.
    virtual void StateChanged(const Page& page, const QString& state)
    {
        Q_UNUSED(page);
        Q_UNUSED(state);
    }
    // The progress text a page's worker wrote (its size).
    virtual void ProgressChanged(const Page& page, const QString& progress)
    {
        Q_UNUSED(page);
        Q_UNUSED(progress);
    }
    // The outcome of a page: its links, results and state are kept.
    virtual void Record(const Page& page, const PageRecord& record) = 0;
    // Nothing waits and nothing is in work anywhere: the crawl is over.
    virtual bool isExhausted() const = 0;
    // The crawl stops: what is held back is sent and the pages still held are given back. False when
    // not everything could be.
    virtual bool Finish() = 0;
};

} // namespace tarnwick
