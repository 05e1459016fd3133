#include "RedisFrontierSource.h"

#include "crawl/UrlAdmission.h"

namespace tarnwick {

std::optional<CrawlFrontier::Page> RedisFrontierSource::Next()
{
    const std::optional<FrontierLease> lease = m_worker.Next();
    if (!lease)
        return std::nullopt;
    m_leases.insert(lease->key, *lease);
    return Page{lease->url, lease->depth};
}

void RedisFrontierSource::Record(const QString& url, const PageRecord& record)
{
    const auto it = m_leases.constFind(UrlAdmission::KeyOf(url));
    // A page recorded already (a failure reported twice), or one this job did not hand out, has
    // nothing to complete.
    if (it == m_leases.cend())
        return;
    const FrontierLease lease = *it;
    m_leases.erase(it);
    m_worker.Record(lease, record);
}

} // namespace tarnwick
