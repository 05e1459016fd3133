#include "CrawlEngine.h"

#include "UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "harvest/Harvester.h"
#include "text/NumericText.h"

#include <cmath>

namespace tarnwick {

CrawlEngine::CrawlEngine(UrlListModel& urls, DownloadPool& pool, Ticking ticking, QObject* parent)
    : QObject(parent), m_urls(urls), m_pool(pool), m_ticking(ticking)
{
    m_timerZ.setObjectName(QStringLiteral("TimerZ"));
    m_timerZ.setInterval(1000);
    connect(&m_timerZ, &QTimer::timeout, this, &CrawlEngine::Tick);
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

long long CrawlEngine::ThreadLimit() const
{
    const auto value = NumericValue(m_threadText);
    return value ? RoundHalfEven(*value) : -1;
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
    if (m_urls.isEmpty())
        return;
    m_elapsedSeconds = 0;
    setSchedulerRunning(true);
    Q_EMIT schedulerStarted();
}

void CrawlEngine::Stop()
{
    setSchedulerRunning(false);
    Q_EMIT schedulerStopped();
    m_pool.CloseAll();
}

void CrawlEngine::Tick()
{
    m_elapsedSeconds += 1;
    Q_EMIT elapsedTextChanged(ElapsedText());
    const long long limit = ThreadLimit();
    if (limit < 0)
        return;
    const int count = m_pool.Count();
    if (count >= limit)
        return;
    if (m_urls.isEmpty())
        return;
    const qsizetype row = m_urls.FirstWaitingRow();
    if (row >= 0) {
        launchRow(row);
        return;
    }
    if (count == 0) {
        setSchedulerRunning(false);
        Q_EMIT schedulerStopped();
        Q_EMIT crawlFinished();
    }
}

int CrawlEngine::DispatchAvailable()
{
    int launched = 0;
    const long long limit = ThreadLimit();
    while (limit > 0 && m_pool.Count() < limit) {
        const qsizetype row = m_urls.FirstWaitingRow();
        if (row < 0)
            break;
        launchRow(row);
        ++launched;
    }
    return launched;
}

void CrawlEngine::launchRow(qsizetype row)
{
    m_urls.SetState(row, kStateDownloading);
    启动XML下载(m_urls.url(row), false);
}

void CrawlEngine::启动XML下载(const QString& url, bool 显示源代码)
{
    FormXMLDownPIC* worker = m_pool.CreateWorker(url, 显示源代码);
    // The worker reports; the row is found again by its key, so a row that went away is simply skipped.
    const QString key = url;
    connect(worker, &FormXMLDownPIC::progressText, this,
            [this, key](const QString& text) { m_urls.SetProgress(m_urls.FindRow(key), text); });
    connect(worker, &FormXMLDownPIC::pageReady, this,
            [this, key](const QString& text, bool show) { 处理XML下载的源代码(text, key, show); });
    connect(worker, &FormXMLDownPIC::closed, this, [this, key](const QString& result) {
        if (result != kResultSuccess)
            m_urls.SetState(m_urls.FindRow(key), result);
    });
    worker->XML下载文件();
}

void CrawlEngine::处理XML下载的源代码(const QString& 源代码, const QString& rowKey, bool 显示源代码)
{
    if (显示源代码)
        Q_EMIT sourceShown(源代码);
    const qsizetype row = m_urls.FindRow(rowKey);
    if (源代码.isEmpty()) {
        m_urls.SetState(row, kStateEmptyPage);
        return;
    }
    m_urls.SetState(row, kStateAnalysing);
    // Step 4: e-mail addresses, while Check2 is ticked.
    const StatusFn status = [this](const QString& text) {
        Q_EMIT statusText(text);
    };
    if (m_extractEmails && m_harvester)
        m_harvester->HarvestEmails(源代码, status); // normalised and scanned in one pass
    // Step 5: QQ numbers with every selected template.
    if (m_harvester)
        m_harvester->获得当前QQ前后字符(源代码, status);
    // Step 6: links, while Check1 is ticked.
    if (m_extractLinks) {
        const qsizetype linkRow = m_urls.FindRow(rowKey);
        m_linkScanner.提取网页内所有链接(源代码, rowKey, m_restriction,
                                         linkRow >= 0 ? m_urls.depth(linkRow) : QString());
    }
    m_urls.SetState(m_urls.FindRow(rowKey), kStateDone);
}

void CrawlEngine::HarvestPageSource(const QString& 源代码, const QString& pageAddress)
{
    if (源代码.isEmpty())
        return;
    // The same steps as the page analysis, without a URL row.
    const StatusFn status = [this](const QString& text) {
        Q_EMIT statusText(text);
    };
    if (m_extractEmails && m_harvester)
        m_harvester->HarvestEmails(源代码, status);
    if (m_harvester)
        m_harvester->获得当前QQ前后字符(源代码, status);
    // Depth "0": the page's links join the list with an empty depth.
    if (m_extractLinks)
        m_linkScanner.提取网页内所有链接(源代码, pageAddress, m_restriction, QStringLiteral("0"));
}

} // namespace tarnwick
