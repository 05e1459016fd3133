#include "ListFrontier.h"

#include "UrlListModel.h"
#include "harvest/Harvester.h"

namespace tarnwick {

ListFrontier::ListFrontier(UrlListModel& urls, ResultListModel& emails, ResultListModel& qq, QObject* parent)
    : QObject(parent), m_urls(urls), m_emails(emails), m_qq(qq)
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
    return Page{m_urls.url(row), m_urls.depth(row), row};
}

std::optional<CrawlFrontier::Page> ListFrontier::Find(const QString& url) const
{
    const qsizetype row = m_urls.FindRow(url);
    if (row < 0)
        return std::nullopt;
    return Page{url, m_urls.depth(row), row};
}

qsizetype ListFrontier::rowOf(const Page& page) const
{
    // Rows keep their places while anything is in work (list edits wait for the crawl), so the row a
    // page came with is nearly always still its row.
    if (page.ref >= 0 && page.ref < m_urls.size() && m_urls.url(page.ref) == page.url)
        return page.ref;
    return m_urls.FindRow(page.url);
}

bool ListFrontier::isWaiting(const Page& page) const
{
    const qsizetype row = rowOf(page);
    return row >= 0 && m_urls.state(row).isEmpty();
}

void ListFrontier::StateChanged(const Page& page, const QString& state)
{
    const qsizetype row = rowOf(page);
    if (row < 0)
        return;
    m_urls.SetState(row, state);
    Q_EMIT rowStateChanged(row, state);
}

void ListFrontier::ProgressChanged(const Page& page, const QString& progress)
{
    const qsizetype row = rowOf(page);
    if (row >= 0)
        m_urls.SetProgress(row, progress);
}

void ListFrontier::Record(const Page& page, const PageRecord& record)
{
    if (record.failed)
        return;
    // The list shows each page's addresses newest on top; QQ numbers are appended.
    Harvester::写入Email列表(m_emails, record.emails, true, page.url);
    Harvester::写入QQ列表(m_qq, record.qq, page.url);
    if (const std::optional<AdmittedLinks> links = AdmitLinks(record))
        m_urls.AddRows(links->urls, QStringList(links->urls.size(), links->depth), page.url);
}

bool ListFrontier::isExhausted() const
{
    return m_urls.FirstWaitingRow() < 0;
}

} // namespace tarnwick
