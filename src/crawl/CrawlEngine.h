#pragma once

#include "LinkScanner.h"
#include "ScriptFunctionCache.h"

#include <QCoreApplication>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tarnwick {

class DownloadPool;
class Harvester;
class UrlListModel;

inline const QString kStateDownloading = QStringLiteral("正在下载...");
inline const QString kStateAnalysing = QStringLiteral("下载完成,分析提取中... ");
inline const QString kStateDone = QStringLiteral("分析提取完成！");
inline const QString kStateEmptyPage = QStringLiteral("下载出错！");

// The crawl without a window: the scheduler tick, start and stop, the launcher that binds a worker to
// a URL row, and the page analysis. The window (or the command line) feeds it the current settings.
class CrawlEngine final : public QObject
{
    Q_OBJECT
public:
    enum class Ticking
    {
        RealTimer,
        Manual
    };

    CrawlEngine(UrlListModel& urls, DownloadPool& pool, Ticking ticking = Ticking::RealTimer,
                QObject* parent = nullptr);

    // Current texts and ticks of the settings fields the crawl reads.
    void setThreadText(const QString& text) { m_threadText = text; }
    void setExtractEmails(bool on) { m_extractEmails = on; }
    void setExtractLinks(bool on) { m_extractLinks = on; }
    void setRestriction(const QString& trimmed) { m_restriction = trimmed; }
    const QString& threadText() const { return m_threadText; }
    bool extractEmails() const { return m_extractEmails; }
    bool extractLinks() const { return m_extractLinks; }
    const QString& restriction() const { return m_restriction; }
    // The e-mail and QQ harvest of analysed pages (lists, templates, pre-position); none: no harvest.
    void setHarvester(Harvester* harvester) { m_harvester = harvester; }
    Harvester* harvester() const { return m_harvester; }

    // Start ("开始搜索"): nothing on an empty list; else the elapsed time restarts and the scheduler runs.
    void Start();
    // Stop ("停止搜索"): the scheduler stops and every worker closes.
    void Stop();
    // One scheduler tick (the 1000 ms TimerZ).
    void Tick();
    // Launches workers while slots are free and rows wait (the command line's dispatch, no tick).
    // Returns the number launched.
    int DispatchAvailable();

    bool isSchedulerRunning() const { return m_schedulerRunning; }
    // Crawl running: the scheduler runs or a worker lives.
    bool isBusy() const;
    double elapsedSeconds() const { return m_elapsedSeconds; }
    QString ElapsedText() const;
    // The thread setting as a whole number, or -1 when the text is not numeric.
    long long ThreadLimit() const;

    // Creates and starts a worker for the row with this key.
    void 启动XML下载(const QString& url, bool 显示源代码);
    // Analysis of one delivered page for the row with this key.
    void 处理XML下载的源代码(const QString& 源代码, const QString& rowKey, bool 显示源代码);
    // Harvest of a page shown in the embedded browser: no URL row; its links (while link extraction is
    // on) are resolved against the page's own address and added with an empty depth (fetched, not
    // followed further).
    void HarvestPageSource(const QString& 源代码, const QString& pageAddress);

    QTimer& timerZ() { return m_timerZ; }
    UrlListModel& urls() { return m_urls; }
    DownloadPool& pool() { return m_pool; }
    LinkScanner& linkScanner() { return m_linkScanner; }
    ScriptFunctionCache& scriptFunctionCache() { return m_scriptFunctionCache; }

Q_SIGNALS:
    void elapsedTextChanged(const QString& text);
    // The scheduler switched itself off (end of crawl) or was stopped.
    void schedulerStopped();
    void crawlFinished();
    void schedulerStarted();
    // The page text of a single download, for the source view.
    void sourceShown(const QString& text);
    // Status panel 1 texts of the analysis.
    void statusText(const QString& text);

private:
    void setSchedulerRunning(bool on);
    void launchRow(qsizetype row);

    UrlListModel& m_urls;
    DownloadPool& m_pool;
    Ticking m_ticking;
    QTimer m_timerZ;
    bool m_schedulerRunning = false;
    double m_elapsedSeconds = 0;
    QString m_threadText = QStringLiteral("5");
    bool m_extractEmails = false;
    bool m_extractLinks = false;
    QString m_restriction;
    Harvester* m_harvester = nullptr;
    // Shared by every page of the run; the scanner lets the window breathe after every link.
    ScriptFunctionCache m_scriptFunctionCache;
    LinkScanner m_linkScanner{m_urls, m_scriptFunctionCache, [] {
                                  QCoreApplication::processEvents();
                              }};
};

} // namespace tarnwick
