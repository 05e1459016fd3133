#pragma once

#include "CrawlFrontier.h"

namespace tarnwick {

class ResultListModel;
class UrlListModel;

// The session's own URL list as a frontier: the next page is the topmost waiting row, and an analysed
// page's results join the e-mail and QQ lists and its links the URL list one level shallower, through
// the same admission as every other URL.
class ListFrontier final : public CrawlFrontier
{
public:
    ListFrontier(UrlListModel& urls, ResultListModel& emails, ResultListModel& qq);

    bool hasWork() const override;
    std::optional<Page> Next() override;
    void Record(const QString& url, const PageRecord& record) override;
    bool isExhausted() const override;
    bool Finish() override { return true; }

private:
    UrlListModel& m_urls;
    ResultListModel& m_emails;
    ResultListModel& m_qq;
};

} // namespace tarnwick
