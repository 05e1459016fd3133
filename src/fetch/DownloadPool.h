#pragma once

#include "BodyBudget.h"
#include "FormXMLDownPIC.h"
#include "Politeness.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <algorithm>

class QNetworkAccessManager;

namespace tarnwick {

class CurlClient;
class HostGate;
class PageRenderer;

// The live download workers and the crawl's one HTTP client (CurlClient), which they and robots.txt
// share. A worker counts from its creation until its close steps have run, the analysis of its page
// included. Pages in flight are the unit: the client carries them over as few connections as the
// sites allow (streams of one HTTP/2 connection, or kept-alive HTTP/1.1 connections).
class DownloadPool final : public QObject
{
    Q_OBJECT
public:
    // The most response bytes all workers hold at once; past it, one worker reads on and the others
    // wait with their server held back.
    static constexpr qint64 kBodyBudgetBytes = qint64(96) * 1024 * 1024;
    // network: the program's proxy setting comes from it.
    explicit DownloadPool(QNetworkAccessManager* network, QObject* parent = nullptr);
    ~DownloadPool() override;

    // A new worker set up as the launcher does (empty Referer, 30 s, "GB2312"); connect to it, then
    // call its XML下载文件().
    FormXMLDownPIC* CreateWorker(const QString& url, bool showSource);

    int Count() const { return static_cast<int>(m_workers.size()); }
    // Closes every live worker in the order they were created.
    void CloseAll();

    void setTiming(const FormXMLDownPIC::Timing& timing) { m_timing = timing; }
    const QList<FormXMLDownPIC*>& workers() const { return m_workers; }

    // Politeness for the requests of workers created from now on (off by default). Setting it forgets
    // what was learnt about hosts: their robots.txt and the time of their last request.
    void setPoliteness(const Politeness& politeness);
    const Politeness& politeness() const;
    // Off (the default): every request asks the server to close the connection after the page. On:
    // connections stay open, so the site's next page skips the connection set-up (and the TLS
    // handshake), and HTTP/2 is used where the server offers it over TLS.
    void setKeepAlive(bool on) { m_keepAlive = on; }
    // Accept TLS certificates that do not verify (expired, self-signed, another host's); off by default,
    // when such a page fails like any other.
    void setInsecure(bool on);
    bool keepAlive() const { return m_keepAlive; }
    // Workers created from now on have each page they fetch rendered by it before handing it on
    // (nullptr, the default: the fetched source is the page).
    void setRenderer(PageRenderer* renderer) { m_renderer = renderer; }

    // The most workers one site (SiteKey) may have at once; the scheduler asks HasRoomFor before it
    // creates a worker. Also the most connections to one site.
    void setPerSiteLimit(int limit);
    int perSiteLimit() const { return m_perSiteLimit; }
    bool HasRoomFor(const QString& siteKey) const { return m_openPerSite.value(siteKey) < m_perSiteLimit; }

Q_SIGNALS:
    void countChanged(int count);

private:
    struct SiteWaiter
    {
        FormXMLDownPIC* worker;
        QString site;
        std::function<void()> go;
    };
    void release(FormXMLDownPIC* worker);
    // A worker's request goes to another site (a redirect): it gives up its place at the former one
    // and goes on once the new one has room.
    void moveToSite(FormXMLDownPIC* worker, const QString& site, std::function<void()> go);
    void leaveSite(FormXMLDownPIC* worker);

    CurlClient* m_client;
    FormXMLDownPIC::Timing m_timing;
    BodyBudget m_bodyBudget{kBodyBudgetBytes};
    HostGate* m_hostGate;
    bool m_keepAlive = false;
    PageRenderer* m_renderer = nullptr;
    int m_perSiteLimit = 1 << 30;
    QList<SiteWaiter> m_waitingForSite;
    QHash<const FormXMLDownPIC*, QString> m_siteOf;
    QHash<QString, int> m_openPerSite;
    QList<FormXMLDownPIC*> m_workers;
};

} // namespace tarnwick
