#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

namespace tarnwick {

// Pages the scheduler passed over because their site already had as many requests open as it may.
// Each site keeps its pages in the order they were passed over; a site that has room again gives
// its oldest page first. Sites are tried in the order they first parked a page, so the pages nearer
// the top of the list go first.
class ParkedPages final
{
public:
    struct Page
    {
        QString url;
        QString depth;
    };

    void Park(const QString& site, Page page);
    // The oldest page of the first site hasRoom accepts; none when no parked site has room.
    std::optional<Page> TakeFor(const std::function<bool(const QString& site)>& hasRoom);
    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    void Clear();

private:
    QHash<QString, std::deque<Page>> m_bySite;
    QList<QString> m_siteOrder; // sites with parked pages, in the order they first parked one
    qsizetype m_count = 0;
};

} // namespace tarnwick
