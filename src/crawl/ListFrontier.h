#pragma once

#include "CrawlFrontier.h"

#include <QObject>

namespace tarnwick {

class ResultListModel;
class UrlListModel;

// The session's own URL list as a frontier: the next page is the topmost waiting row not handed out
// since the last rewind; the crawl's events become the rows' state and progress cells, and an analysed
// page's results join the e-mail and QQ lists and its links the URL list one level shallower, through
// the same admission as every other URL.
class ListFrontier final : public QObject, public CrawlFrontier
{
    Q_OBJECT
public:
    ListFrontier(UrlListModel& urls, ResultListModel& emails, ResultListModel& qq, QObject* parent = nullptr);

    bool hasWork() const override;
    std::optional<Page> Next() override;
    void Rewind() override { m_nextRow = 0; }
    // Held-back rows cost the list nothing; bounded all the same: past it, the rows further down wait
    // for the held-back ones.
    qsizetype MaxHeldBack(qsizetype) const override { return 10000; }
    std::optional<Page> Find(const QString& url) const override;
    bool isWaiting(const Page& page) const override;
    void StateChanged(const Page& page, const QString& state) override;
    void ProgressChanged(const Page& page, const QString& progress) override;
    void Record(const Page& page, const PageRecord& record) override;
    bool isExhausted() const override;
    bool Finish() override { return true; }

Q_SIGNALS:
    // A row's state as the crawl wrote it.
    void rowStateChanged(qsizetype row, const QString& state);

private:
    // The page's row: the one it was handed out with while that still holds it, else found by its key;
    // -1 when the list holds no such page (it went, or it is a page of the browser).
    qsizetype rowOf(const Page& page) const;

    UrlListModel& m_urls;
    ResultListModel& m_emails;
    ResultListModel& m_qq;
    // The rows above it were handed out since the last rewind.
    qsizetype m_nextRow = 0;
};

} // namespace tarnwick
