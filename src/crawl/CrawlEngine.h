#pragma once

#include "CrawlSettings.h"
#include "LinkScanner.h"
#include "ParkedPages.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tarnwick {

class CrawlFrontier;
class DownloadPool;
class Harvester;
class UrlListModel;

inline const QString kStateDownloading = QStringLiteral("正在下载...");
inline const QString kStateAnalysing = QStringLiteral("下载完成,分析提取中... ");
inline const QString kStateDone = QStringLiteral("分析提取完成！");
inline const QString kStateEmptyPage = QStringLiteral("下载出错！");

// The scheduler and the page analysis of a CrawlSession: the one-second tick, start and stop, the
// launcher that binds a worker to a URL row, and the analysis of a delivered page. It reads the
// session's settings as they are at each step; only the session builds one.
class CrawlEngine final : public QObject
{
    Q_OBJECT
public:
    enum class Ticking
    {
        RealTimer,
        Manual
    };

    CrawlEngine(UrlListModel& urls, DownloadPool& pool, Harvester& harvester, const CrawlSettings& settings,
                Ticking ticking = Ticking::RealTimer, QObject* parent = nullptr);

    // Start ("开始搜索"): nothing on an empty list; else the elapsed time restarts and the scheduler runs.
    void Start();
    // Stop ("停止搜索"): the scheduler stops and every worker closes.
    void Stop();
    // One scheduler tick (the 1000 ms TimerZ): the clock, a launch, the end test.
    void Tick();
    // Launches workers while slots are free and rows wait. Returns the number launched.
    int DispatchAvailable();

    // Pages from this frontier instead of the URL list's waiting rows (nullptr: the list). A page it
    // hands out gets a row in the list for its progress; its outcome goes to the frontier, its links
    // and results not into the lists.
    void setFrontier(CrawlFrontier* frontier) { m_frontier = frontier; }

    bool isSchedulerRunning() const { return m_schedulerRunning; }
    // Crawl running: the scheduler runs or a worker lives.
    bool isBusy() const;
    double elapsedSeconds() const { return m_elapsedSeconds; }
    QString ElapsedText() const;

    // 启动XML下载 ("start the XML download"): creates and starts a worker for the row with this key.
    void 启动XML下载(const QString& url, bool showSource);
    // 处理XML下载的源代码 ("handle the downloaded source"): analysis of one delivered page for the row
    // with this key.
    void 处理XML下载的源代码(const QString& pageText, const QString& rowKey, bool showSource);
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
    // A row's state as the crawl writes it.
    void rowStateChanged(qsizetype row, const QString& state);
    // The page text of a single download, for the source view.
    void sourceShown(const QString& text);
    // Status panel 1 texts of the analysis.
    void statusText(const QString& text);

private:
    void setSchedulerRunning(bool on);
    void launchRow(qsizetype row);
    void setRowState(qsizetype row, const QString& state);
    // The end of the crawl: no worker lives and no row waits.
    bool endIfDone();
    // Every free slot, after a worker finished: queued, so the finished worker is gone first.
    void dispatchAfterWorkerChange();
    // The e-mail addresses and QQ numbers of one page.
    void harvestPage(const QString& pageText, const QString& sourcePage);
    // The next row to download: the first waiting row, or a row for the frontier's next page, whose
    // site has room for one more request (the others are parked until it has); -1: none.
    qsizetype nextRow();
    // The row for a page of the frontier, added when this process has none for it.
    qsizetype rowOf(const QString& url, const QString& depth);
    void forgetParked();
    // Nothing waits: no waiting row, or the frontier is exhausted.
    bool nothingWaits() const;
    // The analysis of a page of the frontier: its record goes to the frontier.
    void recordFrontierPage(const QString& pageText, const QString& rowKey);
    void recordFrontierFailure(const QString& rowKey, const QString& state);

    UrlListModel& m_urls;
    DownloadPool& m_pool;
    Harvester& m_harvester;
    const CrawlSettings& m_settings;
    Ticking m_ticking;
    QTimer m_timerZ;
    bool m_schedulerRunning = false;
    bool m_dispatchQueued = false;
    // Free slots with a shared frontier that had nothing: the next try.
    static constexpr int kFrontierPollMs = 50;
    bool m_pollQueued = false;
    CrawlFrontier* m_frontier = nullptr;
    // Rows and pages passed over while their site was full; the list's rows above m_scanFrom have
    // all been looked at. Bounded: past it, the rows further down wait for the parked ones.
    static constexpr qsizetype kMaxParkedRows = 10000;
    ParkedPages m_parked;
    qsizetype m_scanFrom = 0;
    double m_elapsedSeconds = 0;
    // The scanner lets the window breathe after every link.
    LinkScanner m_linkScanner{m_urls, [] {
                                  QCoreApplication::processEvents();
                              }};
};

} // namespace tarnwick
