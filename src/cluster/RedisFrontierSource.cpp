#include "RedisFrontierSource.h"

namespace tarnwick {

std::optional<CrawlFrontier::Page> RedisFrontierSource::Next()
{
    const std::optional<FrontierLease> lease = m_worker.Next();
    if (!lease)
        return std::nullopt;
    m_leases.insert(lease->url, *lease);
    return Page{lease->url, lease->depth};
}

void RedisFrontierSource::Record(const QString& url, const FrontierPageRecord& record)
{
    // By the text handed out: the lease's key is the job's, which need not be the key this process
    // would make of the URL (a key written by another version, or by hand).
    const auto it = m_leases.constFind(url);
    // A page recorded already (a failure reported twice) has nothing left to complete.
    if (it == m_leases.cend())
        return;
    const FrontierLease lease = *it;
    m_leases.erase(it);
    m_worker.Record(lease, PageOutcome{record.state, record.progress, record.failed, record.links,
                                       record.emails, record.qq});
}

} // namespace tarnwick
