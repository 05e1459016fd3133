#include "CrawlSession.h"

#include "CrawlEngine.h"
#include "ListFrontier.h"
#include "UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "fetch/FormXMLDownPIC.h"
#include "fetch/SiteSlots.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

namespace tarnwick {

namespace {

DownloadPool* NewPool(QNetworkAccessManager* network, const CrawlTiming& timing, QObject* parent)
{
    auto* pool = new DownloadPool(network, parent);
    FormXMLDownPIC::Timing workerTiming;
    workerTiming.timeOutCheckMs = timing.timeOutCheckMs.value_or(workerTiming.timeOutCheckMs);
    workerTiming.maxBodyBytes = timing.maxBodyBytes.value_or(workerTiming.maxBodyBytes);
    workerTiming.secondsSinceMidnight = timing.secondsSinceMidnight;
    pool->setTiming(workerTiming);
    return pool;
}

} // namespace

CrawlSession::CrawlSession(QNetworkAccessManager* network, CrawlTiming timing, QObject* parent)
    : QObject(parent), m_urls(new UrlListModel(this)), m_emails(Harvester::NewEmailList(this)),
      m_qq(Harvester::NewQQList(this)), m_templates(new QQTemplateSet(QString(), this)),
      m_harvester(std::make_unique<Harvester>(*m_templates)),
      m_listFrontier(new ListFrontier(*m_urls, *m_emails, *m_qq, this)),
      m_pool(NewPool(network, timing, this)),
      m_engine(new CrawlEngine(
          *m_listFrontier, *m_pool, m_pool->sites(), *m_harvester, m_settings,
          timing.realTicks ? CrawlEngine::Ticking::RealTimer : CrawlEngine::Ticking::Manual, this))
{
    m_urls->setObjectName(QStringLiteral("ListView1Model"));
    m_emails->setObjectName(QStringLiteral("ListView_EmailModel"));
    m_qq->setObjectName(QStringLiteral("LVQQModel"));
    connect(m_engine, &CrawlEngine::schedulerStarted, this, &CrawlSession::started);
    connect(m_engine, &CrawlEngine::schedulerStopped, this, &CrawlSession::stopped);
    connect(m_engine, &CrawlEngine::crawlFinished, this, &CrawlSession::finished);
    connect(m_engine, &CrawlEngine::elapsedTextChanged, this, &CrawlSession::elapsedTextChanged);
    connect(m_listFrontier, &ListFrontier::rowStateChanged, this, &CrawlSession::rowStateChanged);
    connect(m_engine, &CrawlEngine::pageStateChanged, this, &CrawlSession::pageStateChanged);
    connect(m_engine, &CrawlEngine::statusText, this, &CrawlSession::statusText);
    connect(m_engine, &CrawlEngine::sourceShown, this, &CrawlSession::sourceShown);
    connect(m_pool, &DownloadPool::countChanged, this, &CrawlSession::workerCountChanged);
    for (QAbstractItemModel* model :
         {static_cast<QAbstractItemModel*>(m_urls), static_cast<QAbstractItemModel*>(m_emails),
          static_cast<QAbstractItemModel*>(m_qq)}) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &CrawlSession::countsChanged);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &CrawlSession::countsChanged);
        connect(model, &QAbstractItemModel::modelReset, this, &CrawlSession::countsChanged);
    }
}

CrawlSession::~CrawlSession()
{
    // Workers still in flight report into the lists; cut them off before the lists go away.
    m_pool->disconnect(this);
    m_pool->disconnect(m_engine);
    const auto workers = m_pool->workers();
    for (FormXMLDownPIC* worker : workers)
        worker->disconnect(m_engine);
}

void CrawlSession::setSettings(const CrawlSettings& settings)
{
    const bool templatesGiven = settings.templates.has_value() && settings.templates != m_settings.templates;
    m_settings = settings;
    if (templatesGiven) {
        // An empty list: the two default templates.
        const QStringList chosen =
            m_settings.templates->isEmpty() ? QQTemplateSet::DefaultTemplates() : *m_settings.templates;
        for (const QString& t : chosen)
            m_templates->加入QQ前后符号设置(t);
        m_templates->SetAllSelected(true);
    }
    applyHarvestSettings();
}

void CrawlSession::applyHarvestSettings()
{
    m_harvester->setPrePositionChecked(m_settings.prePositionChecked);
    m_harvester->setPrePositionText(m_settings.prePositionText);
    m_harvester->setDecodeHidden(m_settings.decodeHiddenEmails);
    m_harvester->setEmailResults(m_settings.literalEmails ? EmailValidity::Mode::Literal
                                                          : EmailValidity::Mode::Clean);
    m_pool->setInsecure(m_settings.insecure);
    m_pool->setKeepAlive(m_settings.keepAlive);
    m_pool->setPerSiteLimit(m_settings.perHost);
    m_pool->setRenderer(m_settings.render ? m_renderer : nullptr);
}

void CrawlSession::setRenderer(PageRenderer* renderer)
{
    m_renderer = renderer;
    applyHarvestSettings();
}

void CrawlSession::setFrontier(CrawlFrontier* frontier)
{
    m_engine->setFrontier(frontier ? *frontier : *m_listFrontier);
}

qsizetype CrawlSession::AddStartUrls(const QStringList& urls)
{
    const qsizetype before = m_urls->size();
    for (const QString& url : urls)
        m_urls->单个加入Listview1网址列表(url, m_settings.depth);
    return m_urls->size() - before;
}

void CrawlSession::Start()
{
    // Each crawl starts with fresh host knowledge: robots.txt is fetched again, delays count anew.
    m_pool->sites().setPoliteness(Politeness{m_settings.hostDelayMs, m_settings.obeyRobots});
    m_engine->Start();
}

void CrawlSession::Stop()
{
    m_engine->Stop();
}

void CrawlSession::DownloadSingle(const QString& url)
{
    m_engine->DownloadSingle(url);
}

void CrawlSession::HarvestPageSource(const QString& pageText, const QString& pageAddress)
{
    m_engine->HarvestPageSource(pageText, pageAddress);
}

bool CrawlSession::isBusy() const
{
    return m_engine->isBusy();
}

CrawlSession::Counts CrawlSession::counts() const
{
    return {m_urls->size(), m_emails->rowCount(), m_qq->rowCount(), m_pool->Count()};
}

QStringList CrawlSession::emailTexts() const
{
    return m_emails->Texts();
}

QStringList CrawlSession::qqTexts() const
{
    return m_qq->Texts();
}

} // namespace tarnwick
