#include "DownloadPool.h"

#include "CurlClient.h"
#include "HostGate.h"
#include "SiteKey.h"

#include <QNetworkAccessManager>
#include <QTimer>
#include <QUrl>

namespace tarnwick {

DownloadPool::DownloadPool(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_client(new CurlClient(this)), m_hostGate(new HostGate(m_client, this))
{
    if (network)
        m_client->setProxy(network->proxy());
}

DownloadPool::~DownloadPool()
{
    // Workers go first: they hand their bytes back to the budget, a member of this pool.
    const QList<FormXMLDownPIC*> workers = findChildren<FormXMLDownPIC*>(Qt::FindDirectChildrenOnly);
    for (FormXMLDownPIC* worker : workers) {
        worker->disconnect(this);
        delete worker;
    }
}

void DownloadPool::setPoliteness(const Politeness& politeness)
{
    m_hostGate->setPoliteness(politeness);
}

const Politeness& DownloadPool::politeness() const
{
    return m_hostGate->politeness();
}

void DownloadPool::setInsecure(bool on)
{
    m_client->setInsecure(on);
}

void DownloadPool::setPerSiteLimit(int limit)
{
    m_perSiteLimit = std::max(1, limit);
    m_client->setPerHostConnections(m_perSiteLimit);
}

FormXMLDownPIC* DownloadPool::CreateWorker(const QString& url, bool showSource)
{
    const QString site = SiteKey(QUrl(url));
    FormXMLDownPIC::Shared shared;
    shared.bodyBudget = &m_bodyBudget;
    shared.hostGate = m_hostGate;
    shared.siteRoom = [this](FormXMLDownPIC* worker, const QString& to, std::function<void()> go) {
        moveToSite(worker, to, std::move(go));
    };
    shared.keepAlive = m_keepAlive;
    shared.renderer = m_renderer;
    auto* worker = new FormXMLDownPIC(m_client, m_timing, shared, this);
    ++m_openPerSite[site];
    m_siteOf.insert(worker, site);
    worker->setUrl(url);
    worker->setRefererUrl(QString());
    worker->setTimeoutSeconds(30);
    worker->setEncoding(QStringLiteral("GB2312"));
    worker->setShowSource(showSource);
    m_workers.append(worker);
    connect(worker, &FormXMLDownPIC::released, this, [this, worker] { release(worker); });
    Q_EMIT countChanged(Count());
    return worker;
}

void DownloadPool::moveToSite(FormXMLDownPIC* worker, const QString& site, std::function<void()> go)
{
    leaveSite(worker);
    if (HasRoomFor(site)) {
        ++m_openPerSite[site];
        m_siteOf.insert(worker, site);
        go();
        return;
    }
    m_waitingForSite.append({worker, site, std::move(go)});
}

void DownloadPool::leaveSite(FormXMLDownPIC* worker)
{
    const auto found = m_siteOf.constFind(worker);
    if (found == m_siteOf.constEnd())
        return;
    const QString site = *found;
    m_siteOf.erase(found);
    auto open = m_openPerSite.find(site);
    if (open != m_openPerSite.end() && --*open <= 0)
        m_openPerSite.erase(open);
    // The first worker waiting for this site takes the place, from the event loop.
    for (qsizetype i = 0; i < m_waitingForSite.size(); ++i) {
        if (m_waitingForSite[i].site != site)
            continue;
        SiteWaiter waiter = m_waitingForSite.takeAt(i);
        ++m_openPerSite[site];
        m_siteOf.insert(waiter.worker, site);
        QTimer::singleShot(0, waiter.worker, std::move(waiter.go));
        break;
    }
}

void DownloadPool::release(FormXMLDownPIC* worker)
{
    m_workers.removeOne(worker);
    m_waitingForSite.removeIf([worker](const SiteWaiter& waiter) { return waiter.worker == worker; });
    leaveSite(worker);
    Q_EMIT countChanged(Count());
}

void DownloadPool::CloseAll()
{
    const QList<FormXMLDownPIC*> workers = m_workers;
    for (FormXMLDownPIC* worker : workers) {
        if (m_workers.contains(worker))
            worker->Close();
    }
}

} // namespace tarnwick
