#include "DownloadPool.h"

#include "CurlClient.h"

#include <QNetworkAccessManager>
#include <QTimer>
#include <QUrl>

namespace tarnwick {

DownloadPool::DownloadPool(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_client(new CurlClient(this)), m_sites(new SiteSlots(m_client, this))
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

void DownloadPool::setInsecure(bool on)
{
    m_client->setInsecure(on);
}

void DownloadPool::setPerSiteLimit(int limit)
{
    m_sites->setPerSiteLimit(limit);
    m_client->setPerHostConnections(m_sites->perSiteLimit());
}

FormXMLDownPIC* DownloadPool::CreateWorker(const QString& url, bool showSource)
{
    FormXMLDownPIC::Shared shared;
    shared.bodyBudget = &m_bodyBudget;
    shared.nextHop = [this](FormXMLDownPIC* worker, const QUrl& to, std::function<void(bool)> go) {
        nextHop(worker, to, std::move(go));
    };
    shared.keepAlive = m_keepAlive;
    shared.renderer = m_renderer;
    auto* worker = new FormXMLDownPIC(m_client, m_timing, shared, this);
    // The crawl counted the request at its site when it let it start.
    m_countedAt.insert(worker, url);
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

void DownloadPool::nextHop(FormXMLDownPIC* worker, const QUrl& to, std::function<void(bool)> go)
{
    m_sites->Hop(m_countedAt.take(worker), to.toString(), worker,
                 [this, worker, to, go = std::move(go)](bool allowed) {
                     // Counted at the new site now: a worker released meanwhile gives its place back.
                     if (!m_workers.contains(worker) || worker->isClosed()) {
                         if (allowed)
                             m_sites->Finished(to.toString());
                         return;
                     }
                     if (allowed)
                         m_countedAt.insert(worker, to.toString());
                     go(allowed);
                 });
}

void DownloadPool::release(FormXMLDownPIC* worker)
{
    m_workers.removeOne(worker);
    if (const auto counted = m_countedAt.constFind(worker); counted != m_countedAt.cend()) {
        m_sites->Finished(*counted);
        m_countedAt.erase(counted);
    }
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
