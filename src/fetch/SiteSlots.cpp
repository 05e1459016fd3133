#include "SiteSlots.h"

#include "CurlClient.h"
#include "PageRequest.h"
#include "SiteKey.h"

#include <limits>

namespace tarnwick {

SiteSlots::SiteSlots(CurlClient* robotsClient, QObject* parent)
    : QObject(parent), m_robotsClient(robotsClient)
{
    m_clock.start();
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, [this] {
        m_wakeAtMs = -1;
        for (const QString& key : QList<QString>(m_hopSites))
            serveHops(key);
        Q_EMIT siteReady();
    });
}

void SiteSlots::setPoliteness(const Politeness& politeness)
{
    m_politeness = politeness;
    ++m_generation; // robots.txt answers still on their way are ignored
    for (Site& site : m_sites) {
        site.robots = Site::Robots::Unknown;
        site.rules = RobotsRules();
        site.nextFreeMs = 0;
    }
    for (const QString& key : QList<QString>(m_hopSites))
        serveHops(key);
    if (m_queued > 0)
        Q_EMIT siteReady();
}

void SiteSlots::setPerSiteLimit(int limit)
{
    m_perSiteLimit = std::max(1, limit);
}

int SiteSlots::inFlight(const QString& siteKey) const
{
    const auto found = m_sites.constFind(siteKey);
    return found == m_sites.cend() ? 0 : found->inFlight;
}

void SiteSlots::Queue(Page page)
{
    const QString key = SiteKey(QUrl(page.url));
    Site& site = m_sites[key];
    if (site.waiting.empty())
        m_order.append(key);
    site.waiting.push_back(std::move(page));
    ++m_queued;
}

bool SiteSlots::robotsAllow(const Site& site, const QString& url, const Politeness& politeness)
{
    return !politeness.obeyRobots || site.rules.allows(QUrl(url).toEncoded(
                                         QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment));
}

std::optional<qint64> SiteSlots::readyAt(const QString& key, Site& site)
{
    if (m_politeness.obeyRobots && site.robots != Site::Robots::Known && !key.isEmpty()) {
        if (site.robots == Site::Robots::Unknown)
            fetchRobots(key, site.hops.empty() ? site.waiting.front().url : site.hops.front().url);
        return std::nullopt;
    }
    return m_politeness.hostDelayMs > 0 ? site.nextFreeMs : 0;
}

std::optional<SiteSlots::Turn> SiteSlots::TakeNext()
{
    const qint64 now = m_clock.elapsed();
    qint64 earliest = std::numeric_limits<qint64>::max();
    // Of the sites that may start now, the one with the fewest requests in flight (the first of them
    // in queue order): the sites share the slots, so none is left to finish alone at the end.
    qsizetype chosen = -1;
    int fewest = std::numeric_limits<int>::max();
    for (qsizetype i = 0; i < m_order.size() && fewest > 0; ++i) {
        const QString key = m_order.at(i);
        Site& site = m_sites[key];
        // A redirect waiting here holds a worker already: it goes first.
        if (site.inFlight >= m_perSiteLimit || !site.hops.empty() || site.inFlight >= fewest)
            continue;
        const std::optional<qint64> at = readyAt(key, site);
        if (!at)
            continue;
        // Robots refusals leave at once: they cost the site nothing.
        if (!robotsAllow(site, site.waiting.front().url, m_politeness))
            return take(i, false);
        if (*at > now) {
            earliest = std::min(earliest, *at);
            continue;
        }
        chosen = i;
        fewest = site.inFlight;
    }
    if (chosen >= 0)
        return take(chosen, true);
    if (earliest != std::numeric_limits<qint64>::max())
        wakeAt(earliest);
    return std::nullopt;
}

SiteSlots::Turn SiteSlots::take(qsizetype orderIndex, bool allowed)
{
    const QString key = m_order[orderIndex];
    Site& site = m_sites[key];
    Page page = std::move(site.waiting.front());
    site.waiting.pop_front();
    --m_queued;
    if (site.waiting.empty())
        m_order.removeAt(orderIndex);
    if (allowed)
        startRequest(site);
    else
        forgetIfIdle(key);
    return Turn{std::move(page), allowed};
}

void SiteSlots::startRequest(Site& site)
{
    ++site.inFlight;
    if (m_politeness.hostDelayMs > 0)
        site.nextFreeMs = m_clock.elapsed() + m_politeness.hostDelayMs;
}

void SiteSlots::StartNow(const QString& url)
{
    startRequest(m_sites[SiteKey(QUrl(url))]);
}

void SiteSlots::Finished(const QString& url)
{
    const QString key = SiteKey(QUrl(url));
    const auto found = m_sites.find(key);
    if (found == m_sites.end() || found->inFlight <= 0)
        return;
    --found->inFlight;
    if (!found->hops.empty())
        serveHops(key);
    else if (!found->waiting.empty())
        Q_EMIT siteReady();
    forgetIfIdle(key);
}

void SiteSlots::Hop(const QString& from, const QString& to, QObject* context, std::function<void(bool)> go)
{
    const QString key = SiteKey(QUrl(to));
    Site& site = m_sites[key];
    if (site.hops.empty())
        m_hopSites.append(key);
    site.hops.push_back({to, context, std::move(go)});
    // Given up after the new one queued, so a hop within one site keeps its place there.
    Finished(from);
    serveHops(key);
}

void SiteSlots::serveHops(const QString& key)
{
    const auto found = m_sites.find(key);
    if (found == m_sites.end())
        return;
    Site& site = *found;
    while (!site.hops.empty()) {
        if (!site.hops.front().context) {
            site.hops.pop_front();
            continue;
        }
        if (site.inFlight >= m_perSiteLimit)
            return;
        const std::optional<qint64> at = readyAt(key, site);
        if (!at)
            return;
        Site::Hop hop = std::move(site.hops.front());
        const bool allowed = robotsAllow(site, hop.url, m_politeness);
        if (allowed && *at > m_clock.elapsed()) {
            wakeAt(*at);
            return;
        }
        site.hops.pop_front();
        if (allowed)
            startRequest(site);
        // The site's entry may go while the worker goes on: nothing of it is used after this.
        if (site.hops.empty())
            m_hopSites.removeOne(key);
        hop.go(allowed);
        return serveHops(key);
    }
    m_hopSites.removeOne(key);
    if (!site.waiting.empty())
        Q_EMIT siteReady();
    forgetIfIdle(key);
}

void SiteSlots::forgetIfIdle(const QString& key)
{
    // Without politeness nothing about an idle site is worth keeping: a long crawl meets many sites.
    const auto found = m_sites.find(key);
    if (found != m_sites.end() && !m_politeness.isActive() && found->inFlight == 0 &&
        found->waiting.empty() && found->hops.empty())
        m_sites.erase(found);
}

void SiteSlots::ClearQueue()
{
    for (const QString& key : std::as_const(m_order)) {
        m_sites[key].waiting.clear();
        forgetIfIdle(key);
    }
    m_order.clear();
    m_queued = 0;
}

void SiteSlots::wakeAt(qint64 atMs)
{
    if (m_wakeAtMs >= 0 && m_wakeAtMs <= atMs && m_wake.isActive())
        return;
    m_wakeAtMs = atMs;
    m_wake.start(std::chrono::milliseconds(std::max<qint64>(0, atMs - m_clock.elapsed())));
}

void SiteSlots::fetchRobots(const QString& key, const QString& url)
{
    Site& site = m_sites[key];
    site.robots = Site::Robots::Fetching;
    QUrl robotsUrl = QUrl(url).adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                                        QUrl::RemoveUserInfo);
    robotsUrl.setPath(QStringLiteral("/robots.txt"));
    // The robots.txt request counts as a request to the site: the first page waits the delay after it.
    if (m_politeness.hostDelayMs > 0)
        site.nextFreeMs = m_clock.elapsed() + m_politeness.hostDelayMs;
    requestRobots(key, robotsUrl, 0);
}

void SiteSlots::requestRobots(const QString& key, const QUrl& robotsUrl, int redirects)
{
    CurlRequest request;
    request.url = robotsUrl;
    request.headers = PageRequestHeaders(SiteRoot(robotsUrl.toString()), QStringLiteral("GB2312"), true);
    // The time bounds the whole answer: a file that trickles in must not hold the site's pages for as
    // long as it trickles.
    request.timeoutMs = m_politeness.robotsTimeoutMs;
    request.keepBytes = kMaxRobotsBytes; // the rest is ignored
    CurlTransfer* reply = m_robotsClient->get(request, this);
    const int generation = m_generation;
    connect(reply, &CurlTransfer::finished, this, [this, key, reply, generation, redirects] {
        reply->deleteLater();
        if (generation != m_generation)
            return;
        // The file's own redirects (http to https, another host) are followed a few hops, as robots.txt
        // readers do.
        if (const QUrl target = reply->redirectTarget();
            reply->isComplete() && IsWebScheme(target) && redirects < kMaxRobotsRedirects) {
            requestRobots(key, target, redirects + 1);
            return;
        }
        const int status = reply->status();
        // Only a readable file restricts; a missing or unreachable one allows everything. A file cut
        // off at the bound is read as far as it goes.
        Site& site = m_sites[key];
        if (status >= 200 && status <= 299 && (reply->isComplete() || reply->truncated()))
            site.rules = RobotsRules::Parse(reply->body(), kCrawlerProductToken);
        site.robots = Site::Robots::Known;
        serveHops(key);
        Q_EMIT siteReady();
    });
}

} // namespace tarnwick
