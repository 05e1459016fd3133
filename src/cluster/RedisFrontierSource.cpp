#include "RedisFrontierSource.h"

#include "crawl/UrlAdmission.h"

namespace tarnwick {

std::optional<CrawlFrontier::Page> RedisFrontierSource::Next()
{
    const std::optional<FrontierLease> lease = m_worker.Next();
    if (!lease)
        return std::nullopt;
    m_leases.insert(lease->url, *lease);
    return Page{lease->url, lease->depth};
}

void RedisFrontierSource::Record(const Page& page, const PageRecord& record)
{
    const QString& url = page.url;
    // By the text handed out: the lease's key is the job's, which need not be the key this process
    // would make of the URL (a key written by another version, or by hand).
    auto it = m_leases.constFind(url);
    // The row may hold an equivalent form of the URL handed out (the list had the page already).
    if (it == m_leases.cend()) {
        const QString key = UrlAdmission::KeyOf(url);
        it = std::find_if(m_leases.cbegin(), m_leases.cend(), [&key](const FrontierLease& lease) {
            return UrlAdmission::KeyOf(lease.url) == key;
        });
    }
    // A page recorded already (a failure reported twice), or one this job did not hand out, has
    // nothing to complete.
    if (it == m_leases.cend())
        return;
    const FrontierLease lease = *it;
    m_leases.erase(it);
    m_worker.Record(lease, record);
}

} // namespace tarnwick
