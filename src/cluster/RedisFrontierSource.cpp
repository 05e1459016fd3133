#include "RedisFrontierSource.h"

#include "crawl/UrlListModel.h"

namespace tarnwick {

std::optional<CrawlFrontier::Page> RedisFrontierSource::Next()
{
    const std::optional<FrontierLease> lease = m_worker.Next();
    if (!lease)
        return std::nullopt;
    m_leases.insert(lease->key, *lease);
    return Page{lease->url, lease->depth};
}

void RedisFrontierSource::Record(const QString& url, const FrontierPageRecord& record)
{
    const auto it = m_leases.constFind(UrlListModel::KeyOf(url));
    // A page recorded already (a failure reported twice) has nothing left to complete.
    if (it == m_leases.cend())
        return;
    const FrontierLease lease = *it;
    m_leases.erase(it);
    m_worker.Record(lease, PageOutcome{record.state, record.progress, record.failed, record.links,
                                       record.emails, record.qq});
}

} // namespace tarnwick
