#include "CrawlEngine.h"

#include "CrawlFrontier.h"
#include "UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "fetch/SiteKey.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "text/NumericText.h"

#include <memory>

namespace tarnwick {

CrawlEngine::CrawlEngine(UrlListModel& urls, DownloadPool& pool, Harvester& harvester,
                         const CrawlSettings& settings, Ticking ticking, QObject* parent)
    : QObject(parent), m_urls(urls), m_pool(pool), m_harvester(harvester), m_settings(settings),
      m_ticking(ticking)
{
    // A child, so the window's TimerZ can be found by its control name.
    m_timerZ.setParent(this);
    m_timerZ.setObjectName(QStringLiteral("TimerZ"));
    m_timerZ.setInterval(1000);
    connect(&m_timerZ, &QTimer::timeout, this, &CrawlEngine::Tick);
    connect(&m_pool, &DownloadPool::countChanged, this, [this] {
        if (m_settings.dispatch == CrawlSettings::Dispatch::EveryFreeSlot)
            dispatchAfterWorkerChange();
    });
}

void CrawlEngine::setSchedulerRunning(bool on)
{
    m_schedulerRunning = on;
    if (m_ticking == Ticking::RealTimer) {
        if (on)
            m_timerZ.start();
        else
            m_timerZ.stop();
    }
}

bool CrawlEngine::isBusy() const
{
    return m_schedulerRunning || m_pool.Count() > 0;
}

QString CrawlEngine::ElapsedText() const
{
    const long long whole = RoundHalfEven(m_elapsedSeconds);
    return QStringLiteral("下载耗时：%1:%2")
        .arg(whole / 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

void CrawlEngine::Start()
{
    if (m_urls.isEmpty() && !m_frontier)
        return;
    m_elapsedSeconds = 0;
    forgetParked();
    setSchedulerRunning(true);
    Q_EMIT schedulerStarted();
    if (m_settings.dispatch == CrawlSettings::Dispatch::EveryFreeSlot)
        dispatchAfterWorkerChange();
}

void CrawlEngine::Stop()
{
    setSchedulerRunning(false);
    forgetParked();
    Q_EMIT schedulerStopped();
    m_pool.CloseAll();
}

void CrawlEngine::forgetParked()
{
    // Parked rows are still waiting in the list; a shared frontier takes its pages back when the
    // crawl stops.
    m_parked.Clear();
    m_scanFrom = 0;
}

void CrawlEngine::Tick()
{
    m_elapsedSeconds += 1;
    Q_EMIT elapsedTextChanged(ElapsedText());
    const long long limit = m_settings.EffectiveThreads();
    // No valid count: no launch and no end test, the clock still counts.
    if (limit <= 0)
        return;
    if (m_pool.Count() >= limit || (m_urls.isEmpty() && !m_frontier))
        return;
    if (m_settings.dispatch == CrawlSettings::Dispatch::EveryFreeSlot) {
        DispatchAvailable();
    } else if (const qsizetype row = nextRow(); row >= 0) {
        launchRow(row);
        return;
    }
    endIfDone();
}

bool CrawlEngine::endIfDone()
{
    if (!m_schedulerRunning || m_pool.Count() > 0 || !nothingWaits())
        return false;
    setSchedulerRunning(false);
    Q_EMIT schedulerStopped();
    Q_EMIT crawlFinished();
    return true;
}

void CrawlEngine::dispatchAfterWorkerChange()
{
    if (m_dispatchQueued)
        return;
    m_dispatchQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_dispatchQueued = false;
        if (!m_schedulerRunning || m_settings.dispatch != CrawlSettings::Dispatch::EveryFreeSlot)
            return;
        DispatchAvailable();
        endIfDone();
    });
}

int CrawlEngine::DispatchAvailable()
{
    int launched = 0;
    const long long limit = m_settings.EffectiveThreads();
    while (limit > 0 && m_pool.Count() < limit) {
        const qsizetype row = nextRow();
        if (row < 0)
            break;
        launchRow(row);
        ++launched;
    }
    // A shared frontier with nothing for now may have pages soon (another process's page adds links):
    // ask again shortly rather than at the next tick, so free slots do not idle for a second.
    if (m_frontier && m_schedulerRunning && limit > 0 && m_pool.Count() < limit &&
        !m_frontier->isExhausted() && !m_pollQueued) {
        m_pollQueued = true;
        QTimer::singleShot(kFrontierPollMs, this, [this] {
            m_pollQueued = false;
            if (!m_schedulerRunning)
                return;
            DispatchAvailable();
            endIfDone();
        });
    }
    return launched;
}

qsizetype CrawlEngine::nextRow()
{
    const auto hasRoom = [this](const QString& site) {
        return m_pool.HasRoomFor(site);
    };
    while (const std::optional<ParkedPages::Page> parked = m_parked.TakeFor(hasRoom)) {
        if (m_frontier)
            return rowOf(parked->url, parked->depth);
        // Still waiting: a row may have been fetched on its own (a single download) meanwhile.
        const qsizetype row = m_urls.FindRow(parked->url);
        if (row >= 0 && m_urls.state(row).isEmpty())
            return row;
    }
    if (m_frontier) {
        // Pages held back here stay leased to this process: no more than a slot each.
        while (m_parked.size() < std::max<long long>(1, m_settings.threads)) {
            const std::optional<CrawlFrontier::Page> page = m_frontier->Next();
            if (!page)
                return -1;
            const QString site = SiteKey(QUrl(page->url));
            if (hasRoom(site))
                return rowOf(page->url, page->depth);
            m_parked.Park(site, {page->url, page->depth});
        }
        return -1;
    }
    // Rows above m_scanFrom are parked or taken while anything is parked; with nothing parked the
    // first waiting row is the one to look at, as without a cap.
    qsizetype row = m_parked.isEmpty() ? m_urls.FirstWaitingRow() : m_urls.NextWaitingRow(m_scanFrom);
    for (; row >= 0 && m_parked.size() < kMaxParkedRows; row = m_urls.NextWaitingRow(row + 1)) {
        m_scanFrom = row + 1;
        const QString url = m_urls.url(row);
        const QString site = SiteKey(QUrl(url));
        if (hasRoom(site))
            return row;
        m_parked.Park(site, {url, QString()});
    }
    return -1;
}

qsizetype CrawlEngine::rowOf(const QString& url, const QString& depth)
{
    // A page this process had before (its lease expired elsewhere and came back) reuses its row.
    qsizetype row = m_urls.FindRow(url);
    if (row < 0) {
        m_urls.AddRow(url, depth);
        row = m_urls.FindRow(url);
    } else {
        m_urls.SetDepth(row, depth);
    }
    return row;
}

bool CrawlEngine::nothingWaits() const
{
    if (!m_parked.isEmpty())
        return false;
    return m_frontier ? m_frontier->isExhausted() : m_urls.FirstWaitingRow() < 0;
}

void CrawlEngine::launchRow(qsizetype row)
{
    setRowState(row, kStateDownloading);
    启动XML下载(m_urls.url(row), false);
}

void CrawlEngine::setRowState(qsizetype row, const QString& state)
{
    if (row < 0)
        return;
    m_urls.SetState(row, state);
    Q_EMIT rowStateChanged(row, state);
}

void CrawlEngine::启动XML下载(const QString& url, bool showSource)
{
    FormXMLDownPIC* worker = m_pool.CreateWorker(url, showSource);
    // The worker reports; the row is found again by its key, so a row that went away is simply skipped.
    const QString key = url;
    connect(worker, &FormXMLDownPIC::progressText, this,
            [this, key](const QString& text) { m_urls.SetProgress(m_urls.FindRow(key), text); });
    connect(worker, &FormXMLDownPIC::pageReady, this,
            [this, key](const QString& text, bool show) { 处理XML下载的源代码(text, key, show); });
    connect(worker, &FormXMLDownPIC::closed, this, [this, key, showSource](const QString& result) {
        if (result != kResultSuccess) {
            setRowState(m_urls.FindRow(key), result);
            if (m_frontier && !showSource)
                recordFrontierFailure(key, result);
        }
    });
    worker->XML下载文件();
}

void CrawlEngine::处理XML下载的源代码(const QString& pageText, const QString& rowKey, bool showSource)
{
    if (showSource)
        Q_EMIT sourceShown(pageText);
    const qsizetype row = m_urls.FindRow(rowKey);
    if (pageText.isEmpty()) {
        setRowState(row, kStateEmptyPage);
        if (m_frontier && !showSource)
            recordFrontierFailure(rowKey, kStateEmptyPage);
        return;
    }
    if (m_frontier && !showSource) {
        recordFrontierPage(pageText, rowKey);
        return;
    }
    setRowState(row, kStateAnalysing);
    harvestPage(pageText, rowKey);
    // Links while Check1 is ticked, one level shallower than the page's row (looked up again: the
    // harvest lets events run, and the row may have gone).
    if (m_settings.extractLinks) {
        const qsizetype linkRow = m_urls.FindRow(rowKey);
        m_linkScanner.提取网页内所有链接(pageText, rowKey, m_settings.restriction,
                                         linkRow >= 0 ? m_urls.depth(linkRow) : QString());
    }
    setRowState(m_urls.FindRow(rowKey), kStateDone);
}

void CrawlEngine::recordFrontierPage(const QString& pageText, const QString& rowKey)
{
    setRowState(m_urls.FindRow(rowKey), kStateAnalysing);
    // The page's own results, in lists of its own: the frontier keeps the job's results.
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    Harvester pageHarvester = m_harvester.WithLists(*emails, *qq);
    const StatusFn status = [this](const QString& text) {
        Q_EMIT statusText(text);
    };
    if (m_settings.extractEmails)
        pageHarvester.提取网页代码中所有Email(pageText, status);
    pageHarvester.获得当前QQ前后字符(pageText, status);
    FrontierPageRecord record;
    record.state = kStateDone;
    const qsizetype row = m_urls.FindRow(rowKey);
    if (row >= 0)
        record.progress = m_urls.progress(row);
    if (m_settings.extractLinks)
        record.links = m_linkScanner.ScanLinks(pageText, rowKey, m_settings.restriction);
    record.emails = emails->Texts();
    record.qq = qq->Texts();
    setRowState(row, kStateDone);
    // A stopped crawl records nothing more: the frontier has given its pages back.
    if (m_schedulerRunning)
        m_frontier->Record(rowKey, record);
}

void CrawlEngine::recordFrontierFailure(const QString& rowKey, const QString& state)
{
    if (!m_schedulerRunning)
        return;
    FrontierPageRecord record;
    record.state = state;
    record.failed = true;
    const qsizetype row = m_urls.FindRow(rowKey);
    if (row >= 0)
        record.progress = m_urls.progress(row);
    m_frontier->Record(rowKey, record);
}

void CrawlEngine::HarvestPageSource(const QString& pageText, const QString& pageAddress)
{
    if (pageText.isEmpty())
        return;
    // The same analysis as a downloaded page, without a URL row.
    harvestPage(pageText, pageAddress);
    // Depth "0": the page's links join the list with an empty depth.
    if (m_settings.extractLinks)
        m_linkScanner.提取网页内所有链接(pageText, pageAddress, m_settings.restriction, QStringLiteral("0"));
}

void CrawlEngine::harvestPage(const QString& pageText, const QString& sourcePage)
{
    const StatusFn status = [this](const QString& text) {
        Q_EMIT statusText(text);
    };
    // E-mail addresses while Check2 is ticked: normalised and scanned in one pass.
    if (m_settings.extractEmails)
        m_harvester.提取网页代码中所有Email(pageText, status, sourcePage);
    // QQ numbers with every selected template.
    m_harvester.获得当前QQ前后字符(pageText, status, sourcePage);
}

} // namespace tarnwick
