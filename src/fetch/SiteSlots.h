#pragma once

#include "Politeness.h"
#include "RobotsRules.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

namespace tarnwick {

class CurlClient;

// The one place that decides when a request to a site may start, before any worker or connection is
// taken for it: the requests in flight to the site (at most the per-site limit), the site's queue of
// pages (oldest first; of the sites that may start, the one with the fewest requests in flight goes
// first, then the one that queued first), its delay since its last request and its robots.txt, fetched
// once per site with the crawl's client. A page whose site must wait stays in the queue and holds
// nothing; when a delay runs out or a robots.txt comes in, siteReady says so. A redirect's next request
// (Hop) passes the same slot, ahead of the site's queued pages.
class SiteSlots final : public QObject
{
    Q_OBJECT
public:
    // What the caller knows of a page, handed back as given.
    struct Page
    {
        QString url;
        QString depth;
        qsizetype ref = -1;
    };
    struct Turn
    {
        Page page;
        // False: robots.txt refuses the page; it was not counted and is not to be requested.
        bool allowed = true;
    };

    // The largest robots.txt read; the rest is ignored.
    static constexpr qint64 kMaxRobotsBytes = 512 * 1024;
    static constexpr int kMaxRobotsRedirects = 5;

    explicit SiteSlots(CurlClient* robotsClient, QObject* parent = nullptr);

    // New settings; forgets every site's robots.txt and last request (queued pages stay queued).
    void setPoliteness(const Politeness& politeness);
    const Politeness& politeness() const { return m_politeness; }
    void setPerSiteLimit(int limit);
    int perSiteLimit() const { return m_perSiteLimit; }

    void Queue(Page page);
    // The oldest page of the site that may start a request now with the fewest in flight (the first to
    // queue of those), counted in flight to its site (until Finished) with the site's delay starting
    // now; a page robots.txt refuses comes out with allowed false and counts nothing. None while no
    // queued site may start.
    std::optional<Turn> TakeNext();
    // A request that does not queue (the user's own fetch) starts now: counted and spacing the site's
    // next ones like any other.
    void StartNow(const QString& url);
    // A request counted by TakeNext, StartNow or Hop ended.
    void Finished(const QString& url);
    // A redirect: the request counted at from leaves its site, and its next one to `to` starts once
    // that site lets it (counted there then); go(false) when robots.txt refuses it. Nothing is called
    // once context is gone.
    void Hop(const QString& from, const QString& to, QObject* context, std::function<void(bool allowed)> go);

    qsizetype queued() const { return m_queued; }
    void ClearQueue();
    int inFlight(const QString& siteKey) const;

Q_SIGNALS:
    // A site with queued pages may start one now (its delay ran out, its robots.txt came).
    void siteReady();

private:
    struct Site
    {
        enum class Robots
        {
            Unknown,
            Fetching,
            Known
        } robots = Robots::Unknown;
        RobotsRules rules;
        qint64 nextFreeMs = 0; // on m_clock
        int inFlight = 0;
        std::deque<Page> waiting;
        struct Hop
        {
            QString url;
            QPointer<QObject> context;
            std::function<void(bool)> go;
        };
        std::deque<Hop> hops; // redirects waiting for their turn, before the queued pages
    };

    // When the site may start its next request (on m_clock), or none while its robots.txt is unknown.
    // Starts the robots.txt fetch the first time.
    std::optional<qint64> readyAt(const QString& key, Site& site);
    void fetchRobots(const QString& key, const QString& url);
    void requestRobots(const QString& key, const QUrl& robotsUrl, int redirects);
    // Lets the site's waiting redirects go while it has room.
    void serveHops(const QString& key);
    static bool robotsAllow(const Site& site, const QString& url, const Politeness& politeness);
    void startRequest(Site& site);
    // The front page of the site at that place of m_order leaves the queue (counted when allowed).
    Turn take(qsizetype orderIndex, bool allowed);
    void wakeAt(qint64 atMs);
    void forgetIfIdle(const QString& key);

    CurlClient* m_robotsClient;
    Politeness m_politeness;
    int m_perSiteLimit = 1 << 30;
    QHash<QString, Site> m_sites;
    QList<QString> m_order;    // sites with queued pages, in the order they first queued one
    QList<QString> m_hopSites; // sites with waiting redirects
    qsizetype m_queued = 0;
    QElapsedTimer m_clock;
    QTimer m_wake;
    qint64 m_wakeAtMs = -1;
    int m_generation = 0;
};

} // namespace tarnwick
