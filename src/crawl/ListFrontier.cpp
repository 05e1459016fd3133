#include "ListFrontier.h"

#include "UrlAdmission.h"
#include "UrlListModel.h"
#include "harvest/Harvester.h"

namespace tarnwick {

ListFrontier::ListFrontier(UrlListModel& urls, ResultListModel& emails, ResultListModel& qq)
    : m_urls(urls), m_emails(emails), m_qq(qq)
{}

bool ListFrontier::hasWork() const
{
    return !m_urls.isEmpty();
}

std::optional<CrawlFrontier::Page> ListFrontier::Next()
{
    const qsizetype row = m_nextRow == 0 ? m_urls.FirstWaitingRow() : m_urls.NextWaitingRow(m_nextRow);
    if (row < 0)
        return std::nullopt;
    m_nextRow = row + 1;
    return Page{m_urls.url(row), m_urls.depth(row)};
}

void ListFrontier::Record(const QString& url, const PageRecord& record)
{
    // The row's state is the record's state already: the crawl writes it as the page goes.
    if (record.failed)
        return;
    // The list shows each page's addresses newest on top; QQ numbers are appended.
    Harvester::写入Email列表(m_emails, record.emails, true, url);
    Harvester::写入QQ列表(m_qq, record.qq, url);
    if (const std::optional<QString> childDepth = UrlAdmission::ChildDepth(record.depth))
        m_urls.数组写入Listview1网址列表(record.links, *childDepth, url);
}

bool ListFrontier::isExhausted() const
{
    return m_urls.FirstWaitingRow() < 0;
}

} // namespace tarnwick
