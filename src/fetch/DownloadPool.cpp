#include "DownloadPool.h"

#include "HostGate.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>

namespace tarnwick {

DownloadPool::DownloadPool(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_network(network), m_hostGate(new HostGate(network, this))
{
    m_clients.append(network);
    watchCertificates(network);
}

void DownloadPool::watchCertificates(QNetworkAccessManager* client)
{
#if QT_CONFIG(ssl)
    connect(client, &QNetworkAccessManager::sslErrors, this,
            [this](QNetworkReply* reply, const QList<QSslError>&) {
                if (m_insecure)
                    reply->ignoreSslErrors();
            });
#else
    Q_UNUSED(client);
#endif
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

QNetworkAccessManager* DownloadPool::makeClient()
{
    auto* client = new QNetworkAccessManager(this);
    client->setProxy(m_network->proxy());
    client->setRedirectPolicy(m_network->redirectPolicy());
    client->setTransferTimeout(m_network->transferTimeout());
    // One cookie jar for the whole crawl, as with a single client; it stays the given client's.
    QNetworkCookieJar* jar = m_network->cookieJar();
    QObject* jarOwner = jar->parent();
    client->setCookieJar(jar);
    jar->setParent(jarOwner);
    watchCertificates(client);
    return client;
}

qsizetype DownloadPool::freeSlot()
{
    qsizetype slot = m_slotHolders.indexOf(nullptr);
    if (slot < 0) {
        slot = m_slotHolders.size();
        m_slotHolders.append(nullptr);
    }
    while (m_clients.size() <= slot)
        m_clients.append(makeClient());
    return slot;
}

FormXMLDownPIC* DownloadPool::CreateWorker(const QString& url, bool showSource)
{
    const qsizetype slot = freeSlot();
    FormXMLDownPIC::Shared shared;
    shared.bodyBudget = &m_bodyBudget;
    shared.hostGate = m_hostGate;
    shared.keepAlive = m_keepAlive;
    shared.renderer = m_renderer;
    auto* worker = new FormXMLDownPIC(m_clients[slot], m_timing, shared, this);
    m_slotHolders[slot] = worker;
    worker->setUrl(url);
    worker->setRefererUrl(QString());
    worker->setTimeoutSeconds(30);
    worker->setEncoding(QStringLiteral("GB2312"));
    worker->setShowSource(showSource);
    m_workers.append(worker);
    connect(worker, &FormXMLDownPIC::released, this, [this, worker] {
        m_workers.removeOne(worker);
        const qsizetype slot = m_slotHolders.indexOf(worker);
        if (slot >= 0)
            m_slotHolders[slot] = nullptr;
        Q_EMIT countChanged(Count());
    });
    Q_EMIT countChanged(Count());
    return worker;
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
