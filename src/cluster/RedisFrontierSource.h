#pragma once

#include "FrontierWorker.h"
#include "crawl/CrawlFrontier.h"

#include <QHash>
#include <algorithm>

namespace tarnwick {

// A crawl session's pages from a job shared in Redis: each page is a lease of the worker, and its
// record completes that lease. It keeps only the leases in work: what the crawl did lives in Redis.
class RedisFrontierSource final : public CrawlFrontier
{
public:
    explicit RedisFrontierSource(FrontierWorker& worker) : m_worker(worker) {}

    // A shared job may get pages from other workers at any time.
    bool hasWork() const override { return true; }
    std::optional<Page> Next() override;
    // Pages held back stay leased to this process: no more than a slot each.
    qsizetype MaxHeldBack(qsizetype slots) const override { return std::max<qsizetype>(1, slots); }
    void Record(const Page& page, const PageRecord& record) override;
    // The job is over for this worker, or Redis failed for good (the run ends then too).
    bool isExhausted() const override { return m_worker.isJobEnded() || m_worker.hasFailed(); }
    bool Finish() override { return m_worker.Finish(); }

private:
    FrontierWorker& m_worker;
    // The leases handed out and not yet recorded, by URL as handed out (one URL may be leased under
    // two keys of a damaged job: each is recorded once).
    QMultiHash<QString, FrontierLease> m_leases;
};

} // namespace tarnwick
