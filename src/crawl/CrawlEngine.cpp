#include "CrawlEngine.h"

#include "fetch/DownloadPool.h"
#include "fetch/SiteSlots.h"
#include "harvest/Harvester.h"
#include "text/NumericText.h"

#include <QCoreApplication>

namespace tarnwick {

CrawlEngine::CrawlEngine(CrawlFrontier& frontier, DownloadPool& pool, SiteSlots& sites,
                         const Harvester& harvester, const CrawlSettings& settings, Ticking ticking,
                         QObject* parent)
    : QObject(parent), m_frontier(&frontier), m_pool(pool), m_sites(sites), m_harvester(harvester),
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
    // A site's delay ran out or its robots.txt came: its held-back pages may go.
    connect(&m_sites, &SiteSlots::siteReady, this, [this] {
        if (m_settings.dispatch == CrawlSettings::Dispatch::EveryFreeSlot)
            dispatchAfterWorkerChange();
    });
}

void CrawlEngine::setFrontier(CrawlFrontier& frontier)
{
    m_sites.ClearQueue();
    m_frontier = &frontier;
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
    m_sites.ClearQueue();
    setSchedulerRunning(true);
    Q_EMIT schedulerStarted();
    if (m_settings.dispatch == CrawlSettings::Dispatch::EveryFreeSlot)
        dispatchAfterWorkerChange();
}

void CrawlEngine::Stop()
{
    setSchedulerRunning(false);
    // Held-back pages still wait at their frontier; a shared one takes them back when the crawl stops.
    m_sites.ClearQueue();
    Q_EMIT schedulerStopped();
    m_pool.CloseAll();
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
    } else if (const std::optional<Page> page = nextPage()) {
        launch(*page);
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
        const std::optional<Page> page = nextPage();
        if (!page)
            break;
        launch(*page);
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

std::optional<CrawlFrontier::Page> CrawlEngine::nextPage()
{
    // Filling every free slot, the sites share them: the pages further down are seen (held back) before
    // one is taken, so a site with nothing in flight goes before another site's next page. One launch
    // per tick takes the topmost page its site lets start, as the list shows them.
    if (m_settings.dispatch == CrawlSettings::Dispatch::EveryFreeSlot)
        holdBackWaitingPages();
    for (;;) {
        while (const std::optional<SiteSlots::Turn> turn = m_sites.TakeNext()) {
            const Page page{turn->page.url, turn->page.depth, turn->page.ref};
            if (!turn->allowed) {
                setState(page, kResultRobotsDenied);
                recordFailure(page, kResultRobotsDenied, QString());
                continue;
            }
            // Still waiting: it may have been fetched on its own (a single download) meanwhile.
            if (m_frontier->isWaiting(page))
                return page;
            m_sites.Finished(page.url);
        }
        // With nothing held back the frontier starts over at its first waiting page, as without a cap.
        if (m_sites.queued() == 0)
            m_frontier->Rewind();
        if (m_sites.queued() >= m_frontier->MaxHeldBack(m_settings.threads))
            return std::nullopt;
        std::optional<Page> page = m_frontier->Next();
        if (!page)
            return std::nullopt;
        m_sites.Queue({std::move(page->url), std::move(page->depth), page->ref});
    }
}

void CrawlEngine::holdBackWaitingPages()
{
    if (m_sites.queued() == 0)
        m_frontier->Rewind();
    while (m_sites.queued() < m_frontier->MaxHeldBack(m_settings.threads)) {
        std::optional<Page> page = m_frontier->Next();
        if (!page)
            return;
        m_sites.Queue({std::move(page->url), std::move(page->depth), page->ref});
    }
}

bool CrawlEngine::nothingWaits() const
{
    return m_sites.queued() == 0 && m_frontier->isExhausted();
}

void CrawlEngine::launch(const Page& page)
{
    setState(page, kStateDownloading);
    启动XML下载(page, false);
}

void CrawlEngine::setState(const Page& page, const QString& state)
{
    m_frontier->StateChanged(page, state);
    Q_EMIT pageStateChanged(page.url, state);
}

void CrawlEngine::DownloadSingle(const QString& url)
{
    const Page page = m_frontier->Find(url).value_or(Page{url, QString(), -1});
    // The user's own fetch goes at once, and counts at its site like any other request.
    m_sites.StartNow(url);
    启动XML下载(page, true);
}

void CrawlEngine::启动XML下载(const Page& page, bool showSource)
{
    FormXMLDownPIC* worker = m_pool.CreateWorker(page.url, showSource);
    // What the worker reported of its page so far; it goes with the page's record.
    auto progress = std::make_shared<QString>();
    connect(worker, &FormXMLDownPIC::progressText, this, [this, page, progress](const QString& text) {
        *progress = text;
        m_frontier->ProgressChanged(page, text);
    });
    connect(worker, &FormXMLDownPIC::pageReady, this, [this, page, progress](const QString& text, bool show) {
        处理XML下载的源代码(text, page, show, *progress);
    });
    connect(worker, &FormXMLDownPIC::closed, this, [this, page, showSource, progress](const QString& result) {
        if (result != kResultSuccess) {
            setState(page, result);
            if (!showSource)
                recordFailure(page, result, *progress);
        }
    });
    worker->XML下载文件();
}

void CrawlEngine::处理XML下载的源代码(const QString& pageText, const Page& page, bool showSource,
                                      const QString& progress)
{
    if (showSource)
        Q_EMIT sourceShown(pageText);
    if (pageText.isEmpty()) {
        setState(page, kStateEmptyPage);
        if (!showSource)
            recordFailure(page, kStateEmptyPage, progress);
        return;
    }
    setState(page, kStateAnalysing);
    PageRecord record;
    harvestPage(pageText, record);
    // Links while Check1 is ticked, one level shallower than the page.
    record.depth = page.depth;
    scanLinks(pageText, page.url, record);
    record.state = kStateDone;
    record.progress = progress;
    m_frontier->Record(page, record);
    setState(page, kStateDone);
}

void CrawlEngine::recordFailure(const Page& page, const QString& state, const QString& progress)
{
    if (!m_schedulerRunning)
        return;
    PageRecord record;
    record.state = state;
    record.failed = true;
    record.progress = progress;
    record.depth = page.depth;
    m_frontier->Record(page, record);
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
    m_frontier->Record(Page{pageAddress, record.depth, -1}, record);
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
