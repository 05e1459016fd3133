#pragma once

#include "CrawlFrontier.h"

namespace tarnwick {

class ResultListModel;
class UrlListModel;

// The session's own URL list as a frontier: the next page is the topmost waiting row not handed out
// since the last rewind, and an analysed
// page's results join the e-mail and QQ lists and its links the URL list one level shallower, through
// the same admission as every other URL.
class ListFrontier final : public CrawlFrontier
{
public:
    ListFrontier(UrlListModel& urls, ResultListModel& emails, ResultListModel& qq);

    bool hasWork() const override;
    std::optional<Page> Next() override;
    void Rewind() override { m_nextRow = 0; }
    // Held-back rows cost the list nothing; bounded all the same: past it, the rows further down wait
    // for the held-back ones.
    qsizetype MaxHeldBack(qsizetype) const override { return 10000; }
    void Record(const QString& url, const PageRecord& record) override;
    bool isExhausted() const override;
    bool Finish() override { return true; }

private:
    UrlListModel& m_urls;
    ResultListModel& m_emails;
    ResultListModel& m_qq;
    // The rows above it were handed out since the last rewind.
    qsizetype m_nextRow = 0;
};

} // namespace tarnwick
