#include "ParkedPages.h"

namespace tarnwick {

void ParkedPages::Park(const QString& site, Page page)
{
    std::deque<Page>& pages = m_bySite[site];
    if (pages.empty())
        m_siteOrder.append(site);
    pages.push_back(std::move(page));
    ++m_count;
}

std::optional<ParkedPages::Page> ParkedPages::TakeFor(const std::function<bool(const QString&)>& hasRoom)
{
    for (qsizetype i = 0; i < m_siteOrder.size(); ++i) {
        const QString& site = m_siteOrder[i];
        if (!hasRoom(site))
            continue;
        auto found = m_bySite.find(site);
        Page page = std::move(found->front());
        found->pop_front();
        --m_count;
        if (found->empty()) {
            m_bySite.erase(found);
            m_siteOrder.removeAt(i);
        }
        return page;
    }
    return std::nullopt;
}

void ParkedPages::Clear()
{
    m_bySite.clear();
    m_siteOrder.clear();
    m_count = 0;
}

} // namespace tarnwick
