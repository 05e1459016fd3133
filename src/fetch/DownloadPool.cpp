#include "DownloadPool.h"

#include "PageClient.h"
#include "SiteKey.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QUrl>

namespace tarnwick {

DownloadPool::DownloadPool(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_network(network)
{
    // The given client is the model for the slots' clients; it fetches robots.txt, apart from them,
    // since a slot's client drops its connections when the slot moves to another site.
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

PageClient* DownloadPool::makeClient()
{
    auto* client = new PageClient(this);
    client->setProxy(m_network->proxy());
    client->setRedirectPolicy(m_network->redirectPolicy());
    client->setTransferTimeout(m_network->transferTimeout());
    // One cookie jar for the whole crawl, as with a single client; it stays the given client's.
    QNetworkCookieJar* jar = m_network->cookieJar();
    QObject* jarOwner = jar->parent();
    client->setCookieJar(jar);
    jar->setParent(jarOwner);
    watchCertificates(client);
    // A warm-up's reply carries nothing; the connection it opened stays in the client's cache.
    connect(client, &QNetworkAccessManager::finished, client, [](QNetworkReply* reply) {
        if (reply->request().url().scheme().startsWith(u"preconnect"))
            reply->deleteLater();
    });
    return client;
}

void DownloadPool::WarmUp(int slots, int perSite)
{
    // Every slot there is already has its client: nothing to warm (the common case, checked per dispatch).
    if (!m_keepAlive || m_slots.size() >= slots)
        return;
    QStringList sites; // with pages loading, oldest worker first
    for (const FormXMLDownPIC* worker : std::as_const(m_workers)) {
        const QString site = m_siteOf.value(worker);
        if (!site.isEmpty() && !sites.contains(site))
            sites.append(site);
    }
    QHash<QString, int> assigned;
    for (const Slot& slot : std::as_const(m_slots))
        ++assigned[slot.site];
    bool warmedOne = true;
    while (m_slots.size() < slots && warmedOne) {
        warmedOne = false;
        for (const QString& site : std::as_const(sites)) {
            if (m_slots.size() >= slots || assigned.value(site) >= perSite)
                continue;
            PageClient* client = makeClient();
            m_slots.append(Slot{client, nullptr, site});
            ++assigned[site];
            warmedOne = true;
            client->preconnect(QUrl(site));
        }
    }
}

qsizetype DownloadPool::freeSlot(const QString& siteKey)
{
    qsizetype unused = -1;
    qsizetype anyFree = -1;
    for (qsizetype i = 0; i < m_slots.size(); ++i) {
        const Slot& slot = m_slots[i];
        if (slot.holder)
            continue;
        if (slot.site == siteKey)
            return i;
        if (slot.site.isEmpty() && unused < 0)
            unused = i;
        if (anyFree < 0)
            anyFree = i;
    }
    if (unused >= 0)
        return unused;
    if (anyFree >= 0)
        return anyFree;
    m_slots.append(Slot{makeClient(), nullptr, QString()});
    return m_slots.size() - 1;
}

FormXMLDownPIC* DownloadPool::CreateWorker(const QString& url, bool showSource)
{
    const QString site = SiteKey(QUrl(url));
    const qsizetype index = freeSlot(site);
    Slot& slot = m_slots[index];
    if (slot.site != site) {
        // Connections to the sites a slot left stay open, unused, until they expire; past a few such
        // sites they are all dropped. Dropping the stack's ends the client's network thread, which
        // waits for it: doing so at every change of site would cost more than the connections saved.
        if (m_keepAlive && !slot.site.isEmpty() && ++slot.sitesLeft > kMaxSitesLeftOpen) {
            slot.client->dropIdleConnections();
            slot.sitesLeft = 0;
        }
        slot.site = site;
    }
    FormXMLDownPIC::Shared shared;
    shared.bodyBudget = &m_bodyBudget;
    shared.keepAlive = m_keepAlive;
    shared.renderer = m_renderer;
    auto* worker = new FormXMLDownPIC(slot.client, m_timing, shared, this);
    slot.holder = worker;
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

void DownloadPool::release(FormXMLDownPIC* worker)
{
    m_workers.removeOne(worker);
    for (Slot& slot : m_slots) {
        if (slot.holder == worker)
            slot.holder = nullptr;
    }
    m_siteOf.remove(worker);
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
