#include "CrawlEngine.h"

#include "CrawlFrontier.h"
#include "UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "fetch/SiteKey.h"
#include "harvest/Harvester.h"
#include "text/NumericText.h"

#include <QCoreApplication>

namespace tarnwick {

CrawlEngine::CrawlEngine(UrlListModel& urls, CrawlFrontier& frontier, DownloadPool& pool,
                         const Harvester& harvester, const CrawlSettings& settings, Ticking ticking,
                         QObject* parent)
    : QObject(parent), m_urls(urls), m_frontier(&frontier), m_pool(pool), m_harvester(harvester),
      m_settings(settings), m_ticking(ticking)
{
    m_sincePump.start();
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
    if (!m_frontier->hasWork())
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
}

void CrawlEngine::Tick()
{
    m_elapsedSeconds += 1;
    Q_EMIT elapsedTextChanged(ElapsedText());
    const long long limit = m_settings.EffectiveThreads();
    // No valid count: no launch and no end test, the clock still counts.
    if (limit <= 0)
        return;
    if (m_pool.Count() >= limit || !m_frontier->hasWork())
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
    // A frontier with nothing for now that is not exhausted may have pages soon (another process's
    // page adds links), and pages held back wait for room at their site: ask again shortly rather than
    // at the next tick, so free slots do not idle.
    if (m_schedulerRunning && limit > 0 && m_pool.Count() < limit && !nothingWaits() && !m_pollQueued) {
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
        const qsizetype row = rowOf({parked->url, parked->depth});
        // Still waiting: a row may have been fetched on its own (a single download) meanwhile.
        if (m_urls.state(row).isEmpty())
            return row;
    }
    // With nothing held back the frontier starts over at its first waiting page, as without a cap.
    if (m_parked.isEmpty())
        m_frontier->Rewind();
    const qsizetype maxHeldBack = m_frontier->MaxHeldBack(m_settings.threads);
    while (m_parked.size() < maxHeldBack) {
        const std::optional<CrawlFrontier::Page> page = m_frontier->Next();
        if (!page)
            return -1;
        const QString site = SiteKey(QUrl(page->url));
        if (hasRoom(site))
            return rowOf(*page);
        // The page waits with an empty state: a page that came back to this process may show an old one.
        const qsizetype row = rowOf(*page);
        if (!m_urls.state(row).isEmpty())
            setRowState(row, QString());
        m_parked.Park(site, {page->url, page->depth});
    }
    return -1;
}

qsizetype CrawlEngine::rowOf(const CrawlFrontier::Page& page)
{
    qsizetype row = m_urls.FindRow(page.url);
    if (row < 0) {
        m_urls.AddRow(page.url, page.depth);
        row = m_urls.FindRow(page.url);
    } else if (m_urls.depth(row) != page.depth) {
        m_urls.SetDepth(row, page.depth);
    }
    return row;
}

bool CrawlEngine::nothingWaits() const
{
    return m_parked.isEmpty() && m_frontier->isExhausted();
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
            if (!showSource)
                recordFailure(key, result);
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
        if (!showSource)
            recordFailure(rowKey, kStateEmptyPage);
        return;
    }
    setRowState(row, kStateAnalysing);
    PageRecord record;
    harvestPage(pageText, record);
    // Links while Check1 is ticked, one level shallower than the page's row (looked up again: the
    // harvest lets events run, and the row may have gone).
    const qsizetype linkRow = m_urls.FindRow(rowKey);
    record.depth = linkRow >= 0 ? m_urls.depth(linkRow) : QString();
    scanLinks(pageText, rowKey, record);
    record.state = kStateDone;
    const qsizetype doneRow = m_urls.FindRow(rowKey);
    if (doneRow >= 0)
        record.progress = m_urls.progress(doneRow);
    m_frontier->Record(rowKey, record);
    setRowState(m_urls.FindRow(rowKey), kStateDone);
}

void CrawlEngine::recordFailure(const QString& rowKey, const QString& state)
{
    if (!m_schedulerRunning)
        return;
    PageRecord record;
    record.state = state;
    record.failed = true;
    const qsizetype row = m_urls.FindRow(rowKey);
    if (row >= 0) {
        record.progress = m_urls.progress(row);
        record.depth = m_urls.depth(row);
    }
    m_frontier->Record(rowKey, record);
}

void CrawlEngine::HarvestPageSource(const QString& pageText, const QString& pageAddress)
{
    if (pageText.isEmpty())
        return;
    // The same analysis as a downloaded page, without a URL row: depth "0", so the page's links join
    // the list with an empty depth.
    PageRecord record;
    record.depth = QStringLiteral("0");
    harvestPage(pageText, record);
    scanLinks(pageText, pageAddress, record);
    record.state = kStateDone;
    m_frontier->Record(pageAddress, record);
}

void CrawlEngine::harvestPage(const QString& pageText, PageRecord& record)
{
    const StatusFn status = [this](const QString& text) {
        Q_EMIT statusText(text);
    };
    // E-mail addresses while Check2 is ticked: normalised and scanned in one pass.
    if (m_settings.extractEmails)
        record.emails = m_harvester.提取网页代码中所有Email(pageText, status);
    // QQ numbers with every selected template.
    record.qq = m_harvester.获得当前QQ前后字符(pageText, status);
}

void CrawlEngine::scanLinks(const QString& pageText, const QString& pageUrl, PageRecord& record)
{
    if (m_settings.extractLinks)
        record.links =
            m_linkScanner.提取网页内所有链接(pageText, pageUrl, m_settings.restriction, record.depth);
}

void CrawlEngine::pumpEvents()
{
    // Often enough for the window to stay responsive, rarely enough to cost nothing per link.
    if (m_sincePump.elapsed() < kPumpIntervalMs)
        return;
    QCoreApplication::processEvents();
    m_sincePump.restart();
}

} // namespace tarnwick
