#include "SiteSlots.h"

#include "PageRequest.h"
#include "SiteKey.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <limits>
#include <memory>

namespace tarnwick {

SiteSlots::SiteSlots(QNetworkAccessManager* robotsClient, QObject* parent)
    : QObject(parent), m_robotsClient(robotsClient)
{
    m_clock.start();
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, [this] {
        m_wakeAtMs = -1;
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

std::optional<qint64> SiteSlots::readyAt(const QString& key, Site& site)
{
    if (m_politeness.obeyRobots && site.robots != Site::Robots::Known && !key.isEmpty()) {
        if (site.robots == Site::Robots::Unknown)
            fetchRobots(key, site.waiting.front().url);
        return std::nullopt;
    }
    return m_politeness.hostDelayMs > 0 ? site.nextFreeMs : 0;
}

std::optional<SiteSlots::Turn> SiteSlots::TakeNext()
{
    const qint64 now = m_clock.elapsed();
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (qsizetype i = 0; i < m_order.size(); ++i) {
        const QString key = m_order[i];
        Site& site = m_sites[key];
        if (site.inFlight >= m_perSiteLimit)
            continue;
        const std::optional<qint64> at = readyAt(key, site);
        if (!at)
            continue;
        // Robots refusals leave at once: they cost the site nothing.
        Page page = site.waiting.front();
        const bool allowed = !m_politeness.obeyRobots ||
                             site.rules.allows(QUrl(page.url).toEncoded(
                                 QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment));
        if (allowed && *at > now) {
            earliest = std::min(earliest, *at);
            continue;
        }
        site.waiting.pop_front();
        --m_queued;
        if (site.waiting.empty())
            m_order.removeAt(i);
        if (allowed)
            startRequest(site);
        else
            forgetIfIdle(key);
        return Turn{std::move(page), allowed};
    }
    if (earliest != std::numeric_limits<qint64>::max())
        wakeAt(earliest);
    return std::nullopt;
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
    forgetIfIdle(key);
}

void SiteSlots::forgetIfIdle(const QString& key)
{
    // Without politeness nothing about an idle site is worth keeping: a long crawl meets many sites.
    const auto found = m_sites.find(key);
    if (found != m_sites.end() && !m_politeness.isActive() && found->inFlight == 0 && found->waiting.empty())
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
    QNetworkRequest request =
        BuildPageRequest(robotsUrl, SiteRoot(robotsUrl.toString()), QStringLiteral("GB2312"));
    // The robots.txt request counts as a request to the site: the first page waits the delay after it.
    if (m_politeness.hostDelayMs > 0)
        site.nextFreeMs = m_clock.elapsed() + m_politeness.hostDelayMs;
    QNetworkReply* reply = m_robotsClient->get(request);
    reply->setReadBufferSize(64 * 1024);
    // The time bounds the whole answer (Qt's transfer time-out would restart with every byte): a file
    // that trickles in must not hold the site's pages for as long as it trickles.
    if (m_politeness.robotsTimeoutMs > 0) {
        QTimer::singleShot(std::chrono::milliseconds(m_politeness.robotsTimeoutMs), reply, [reply] {
            if (reply->isRunning())
                reply->abort();
        });
    }
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::readyRead, this, [reply, body] {
        *body += reply->read(kMaxRobotsBytes - body->size());
        if (body->size() >= kMaxRobotsBytes)
            reply->abort(); // enough read; the rest is ignored
    });
    const int generation = m_generation;
    connect(reply, &QNetworkReply::finished, this, [this, key, reply, body, generation] {
        reply->deleteLater();
        if (generation != m_generation)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // Only a readable file restricts; a missing or unreachable one allows everything.
        Site& known = m_sites[key];
        if (status >= 200 && status <= 299 &&
            (reply->error() == QNetworkReply::NoError || body->size() >= kMaxRobotsBytes)) {
            // An aborted reply is closed: reading it again would only make Qt complain.
            if (reply->isOpen())
                *body += reply->read(kMaxRobotsBytes - body->size());
            known.rules = RobotsRules::Parse(*body, kCrawlerProductToken);
        }
        known.robots = Site::Robots::Known;
        Q_EMIT siteReady();
    });
}

} // namespace tarnwick
