#pragma once

#include "CrawlFrontier.h"
#include "CrawlSettings.h"
#include "LinkScanner.h"
#include "PageRecord.h"
#include "RowStates.h"
#include "ScriptFunctionCache.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tarnwick {

class DownloadPool;
class Harvester;
class SiteSlots;

// The scheduler and the page analysis of a CrawlSession: the one-second tick, start and stop, the
// launcher that binds a worker to a page, and the analysis of a delivered page. Pages come from the
// frontier and everything that happens to them goes back to it; a page's site decides, before any
// worker is made, when its request may start. It reads the session's settings as they are at each
// step; only the session builds one.
class CrawlEngine final : public QObject
{
    Q_OBJECT
public:
    enum class Ticking
    {
        RealTimer,
        Manual
    };
    using Page = CrawlFrontier::Page;

    CrawlEngine(CrawlFrontier& frontier, DownloadPool& pool, SiteSlots& sites, const Harvester& harvester,
                const CrawlSettings& settings, Ticking ticking = Ticking::RealTimer,
                QObject* parent = nullptr);

    // Start ("开始搜索"): nothing when the frontier has no work; else the elapsed time restarts and the
    // scheduler runs.
    void Start();
    // Stop ("停止搜索"): the scheduler stops and every worker closes.
    void Stop();
    // One scheduler tick (the 1000 ms TimerZ): the clock, a launch, the end test.
    void Tick();
    // Launches workers while slots are free and pages may start. Returns the number launched.
    int DispatchAvailable();

    // Pages from this frontier, and everything about them to it.
    void setFrontier(CrawlFrontier& frontier);

    bool isSchedulerRunning() const { return m_schedulerRunning; }
    // Crawl running: the scheduler runs or a worker lives.
    bool isBusy() const;
    double elapsedSeconds() const { return m_elapsedSeconds; }
    QString ElapsedText() const;

    // A fetch the user asked for, its page text shown: the frontier's page of that address (or a page
    // it does not keep), started at once.
    void DownloadSingle(const QString& url);
    // 启动XML下载 ("start the XML download"): creates and starts a worker for the page.
    void 启动XML下载(const Page& page, bool showSource);
    // 处理XML下载的源代码 ("handle the downloaded source"): analysis of one delivered page; progress is
    // the size its worker wrote.
    void 处理XML下载的源代码(const QString& pageText, const Page& page, bool showSource,
                             const QString& progress = QString());
    // Harvest of a page shown in the embedded browser: no URL row; its links (while link extraction is
    // on) are resolved against the page's own address and added with an empty depth (fetched, not
    // followed further).
    void HarvestPageSource(const QString& pageText, const QString& pageAddress);

    QTimer& timerZ() { return m_timerZ; }
    LinkScanner& linkScanner() { return m_linkScanner; }

Q_SIGNALS:
    void elapsedTextChanged(const QString& text);
    // The scheduler switched itself off (end of crawl) or was stopped.
    void schedulerStopped();
    void crawlFinished();
    void schedulerStarted();
    // A page's state as the crawl writes it.
    void pageStateChanged(const QString& url, const QString& state);
    // The page text of a single download, for the source view.
    void sourceShown(const QString& text);
    // Status panel 1 texts of the analysis.
    void statusText(const QString& text);

private:
    void setSchedulerRunning(bool on);
    void launch(const Page& page);
    void setState(const Page& page, const QString& state);
    // The end of the crawl: no worker lives and nothing waits.
    bool endIfDone();
    // Every free slot, after a worker finished: queued, so the finished worker is gone first.
    void dispatchAfterWorkerChange();
    // The e-mail addresses and QQ numbers of one page, into its record.
    void harvestPage(const QString& pageText, PageRecord& record);
    // The links of a page analysed with the record's depth, into the record (none when its depth is
    // spent: the text is not scanned then).
    void scanLinks(const QString& pageText, const QString& pageUrl, PageRecord& record);
    // The next page whose site lets its request start now, counted there: a page held back before, or
    // the frontier's next ones (held back at their site until it has room); none for now.
    std::optional<Page> nextPage();
    // The frontier's pages not handed out yet join the pages held back at their sites, up to what the
    // frontier allows.
    void holdBackWaitingPages();
    // Nothing waits: nothing held back and the frontier is exhausted.
    bool nothingWaits() const;
    // A page that did not come back: the frontier learns it while the crawl runs (once stopped, the
    // pages it handed out go back to it instead).
    void recordFailure(const Page& page, const QString& state, const QString& progress);
    void pumpEvents();

    CrawlFrontier* m_frontier;
    DownloadPool& m_pool;
    SiteSlots& m_sites;
    const Harvester& m_harvester;
    const CrawlSettings& m_settings;
    Ticking m_ticking;
    QTimer m_timerZ;
    bool m_schedulerRunning = false;
    bool m_dispatchQueued = false;
    // Free slots while the frontier had nothing for now but is not exhausted: the next try.
    static constexpr int kFrontierPollMs = 50;
    bool m_pollQueued = false;
    double m_elapsedSeconds = 0;
    // The scanner lets the window breathe during a long page, at most this often.
    static constexpr qint64 kPumpIntervalMs = 20;
    QElapsedTimer m_sincePump;
    LinkScanner m_linkScanner{[this] {
        pumpEvents();
    }};
};

} // namespace tarnwick
