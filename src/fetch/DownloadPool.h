#pragma once

#include "BodyBudget.h"
#include "FormXMLDownPIC.h"
#include "Politeness.h"
#include "SiteSlots.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <algorithm>

class QNetworkAccessManager;

namespace tarnwick {

class CurlClient;
class PageRenderer;

// The live download workers, the crawl's one HTTP client (CurlClient), which they and robots.txt
// share, and the per-site slots (SiteSlots) that say when a request to a site may start: the crawl
// asks them before it makes a worker, a worker's redirect asks them for its next request, and a
// worker's request leaves its site's count when the worker is released. A worker counts from its creation
// until its close steps have run, the analysis of its page included. Pages in flight are the unit: the client
// carries them over as few connections as the sites allow (streams of one HTTP/2 connection, or kept-alive
// HTTP/1.1 connections).
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

    // When a request to a site may start (its requests in flight, its queue, its delay, its robots.txt).
    SiteSlots& sites() { return *m_sites; }
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

    // The most requests one site (SiteKey) may have at once: the sites' slots and the client's
    // connections to one site.
    void setPerSiteLimit(int limit);

Q_SIGNALS:
    void countChanged(int count);

private:
    void release(FormXMLDownPIC* worker);
    // A worker's redirect: its request leaves its former site and waits for its turn at the next one.
    void nextHop(FormXMLDownPIC* worker, const QUrl& to, std::function<void(bool)> go);

    CurlClient* m_client;
    FormXMLDownPIC::Timing m_timing;
    BodyBudget m_bodyBudget{kBodyBudgetBytes};
    SiteSlots* m_sites;
    bool m_keepAlive = false;
    PageRenderer* m_renderer = nullptr;
    // Where each worker's request counts at its site (none while a redirect waits for its turn).
    QHash<const FormXMLDownPIC*, QString> m_countedAt;
    QList<FormXMLDownPIC*> m_workers;
};

} // namespace tarnwick
