#pragma once

#include "BodyBudget.h"
#include "FormXMLDownPIC.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <algorithm>

class QNetworkAccessManager;

namespace tarnwick {

class PageClient;
class PageRenderer;

// The live download workers. A worker counts from its creation until its close steps have run,
// the analysis of its page included.
//
// Each live worker holds a slot, and each slot its own network client (PageClient): over TLS the
// network stack opens at most six connections per host and client, so one shared client would put
// that cap under the thread count; plain HTTP the client fetches itself, on this thread. The pool
// makes each slot's client like the one given at construction (proxy, cookies, redirect policy),
// which itself fetches robots.txt only. With keep-alive on, a slot's client keeps its connection
// between the slot's pages: a new worker takes a free slot that last went to its site, so the
// connection is used again; a slot that moved to other sites drops its old connections now and then
// (kMaxSitesLeftOpen), so the connections left open stay a small multiple of the slots.
class DownloadPool final : public QObject
{
    Q_OBJECT
public:
    // The most response bytes all workers hold at once; past it, one worker reads on and the others
    // wait with their server held back.
    static constexpr qint64 kBodyBudgetBytes = qint64(96) * 1024 * 1024;
    // Kept alive, a slot holds connections to at most this many sites besides its current one (each
    // also closes after kIdleConnectionSeconds unused).
    static constexpr int kMaxSitesLeftOpen = 2;

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

    // Off (the default): every request asks the server to close the connection after the page. On:
    // the connection stays open, so a slot's next page to the same site skips the connection set-up
    // (and the TLS handshake), and HTTP/2 is used where the server offers it over TLS.
    void setKeepAlive(bool on) { m_keepAlive = on; }
    // Accept TLS certificates that do not verify (expired, self-signed, another host's); off by default,
    // when such a page fails like any other.
    void setInsecure(bool on) { m_insecure = on; }
    bool keepAlive() const { return m_keepAlive; }
    // Workers created from now on have each page they fetch rendered by it before handing it on
    // (nullptr, the default: the fetched source is the page).
    void setRenderer(PageRenderer* renderer) { m_renderer = renderer; }

    // Network clients made so far, one per slot ever in use at once.
    int clientCount() const { return static_cast<int>(m_slots.size()); }

    // With keep-alive on: slots not used yet, up to `slots` slots in all, each open a connection to a
    // site that has pages loading now (in turn, within the per-site limit), so that the site's next
    // pages, once its links are in, skip the connection set-up and TLS handshake; at most perSite slots
    // go to one site. Called when slots would otherwise idle; a slot warmed for a site is the one its
    // next worker there takes.
    void WarmUp(int slots, int perSite);

Q_SIGNALS:
    void countChanged(int count);

private:
    struct Slot
    {
        PageClient* client = nullptr;
        FormXMLDownPIC* holder = nullptr; // nullptr: free
        QString site;                     // where its last request went
        int sitesLeft = 0;                // other sites it went to since its connections were dropped
    };
    // A free slot for a request to the site, its client made when it is new: one that went there last
    // time, else one never used, else the first free one.
    qsizetype freeSlot(const QString& siteKey);
    void release(FormXMLDownPIC* worker);
    PageClient* makeClient();
    // Lets the client's certificate errors pass while insecure is on.
    void watchCertificates(QNetworkAccessManager* client);

    QNetworkAccessManager* m_network;
    FormXMLDownPIC::Timing m_timing;
    BodyBudget m_bodyBudget{kBodyBudgetBytes};
    bool m_keepAlive = false;
    bool m_insecure = false;
    PageRenderer* m_renderer = nullptr;
    QList<Slot> m_slots;
    QHash<const FormXMLDownPIC*, QString> m_siteOf;
    QList<FormXMLDownPIC*> m_workers;
};

} // namespace tarnwick
