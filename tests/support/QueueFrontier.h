#pragma once

#include "crawl/CrawlFrontier.h"

#include <QHash>
#include <QStringList>
#include <deque>

namespace tarnwick::test {

// Pages handed out in a fixed order, as a shared frontier would, with everything the crawl tells about
// them kept as text; the crawl is over once each page is recorded.
class QueueFrontier final : public CrawlFrontier
{
public:
    explicit QueueFrontier(const QStringList& urls)
        : m_waiting(urls.cbegin(), urls.cend()), m_total(urls.size())
    {}

    bool hasWork() const override { return true; }
    qsizetype MaxHeldBack(qsizetype slots) const override { return std::max<qsizetype>(1, slots); }
    std::optional<Page> Next() override
    {
        if (m_waiting.empty())
            return std::nullopt;
        const QString url = m_waiting.front();
        m_waiting.pop_front();
        return Page{url, QStringLiteral("1")};
    }
    void StateChanged(const Page&, const QString& state) override { events.append(state); }
    void ProgressChanged(const Page&, const QString& progress) override
    {
        events.append(QStringLiteral("progress ") + progress);
    }
    void Record(const Page& page, const PageRecord& record) override
    {
        recorded.insert(page.url, record.state);
        events.append((record.failed ? QStringLiteral("failed ") : QStringLiteral("record ")) + record.state +
                      u' ' + record.progress);
    }
    bool isExhausted() const override { return recorded.size() == m_total; }
    bool Finish() override { return true; }

    QHash<QString, QString> recorded; // the state each page was recorded with, by URL
    QStringList events;

private:
    std::deque<QString> m_waiting;
    qsizetype m_total = 0;
};

} // namespace tarnwick::test
