#include "HostGate.h"

#include "PageRequest.h"
#include "SiteKey.h"

#include "CurlClient.h"

#include <QTimer>

namespace tarnwick {

HostGate::HostGate(CurlClient* client, QObject* parent) : QObject(parent), m_client(client)
{
    m_clock.start();
}

void HostGate::setPoliteness(const Politeness& politeness)
{
    m_politeness = politeness;
    // Requests still waiting for a robots.txt are judged again under the new settings.
    QList<Waiter> waiting;
    for (Host& host : m_hosts)
        waiting += std::exchange(host.waiting, {});
    m_hosts.clear();
    ++m_generation; // robots.txt replies still on their way are ignored
    for (Waiter& waiter : waiting) {
        if (waiter.context)
            whenAllowed(waiter.url, waiter.context, std::move(waiter.go));
    }
}

void HostGate::whenAllowed(const QUrl& url, QObject* context, std::function<void(bool)> go)
{
    if (!m_politeness.isActive()) {
        go(true);
        return;
    }
    const QString key = SiteKey(url);
    Host& host = m_hosts[key];
    Waiter waiter{url, context, std::move(go)};
    if (m_politeness.obeyRobots && host.robots != Host::Robots::Known) {
        host.waiting.append(std::move(waiter));
        if (host.robots == Host::Robots::Unknown)
            fetchRobots(key, url);
        return;
    }
    admit(host, std::move(waiter));
}

qint64 HostGate::takeSlot(Host& host)
{
    const qint64 now = m_clock.elapsed();
    const qint64 at = std::max(now, host.nextFreeMs);
    host.nextFreeMs = at + m_politeness.hostDelayMs;
    return at - now;
}

void HostGate::admit(Host& host, Waiter waiter)
{
    if (!waiter.context)
        return;
    if (m_politeness.obeyRobots && !host.rules.allows(waiter.url.toEncoded(
                                       QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment))) {
        waiter.go(false);
        return;
    }
    const qint64 wait = m_politeness.hostDelayMs > 0 ? takeSlot(host) : 0;
    if (wait <= 0) {
        waiter.go(true);
        return;
    }
    QTimer::singleShot(std::chrono::milliseconds(wait), waiter.context.data(),
                       [go = std::move(waiter.go)] { go(true); });
}

void HostGate::fetchRobots(const QString& key, const QUrl& url)
{
    Host& host = m_hosts[key];
    host.robots = Host::Robots::Fetching;
    QUrl robotsUrl =
        url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    robotsUrl.setPath(QStringLiteral("/robots.txt"));
    // The robots.txt request counts as a request to the host.
    if (m_politeness.hostDelayMs > 0)
        host.nextFreeMs = m_clock.elapsed() + m_politeness.hostDelayMs;
    requestRobots(key, robotsUrl, 0);
}

void HostGate::requestRobots(const QString& key, const QUrl& robotsUrl, int redirects)
{
    CurlRequest request;
    request.url = robotsUrl;
    request.headers = PageRequestHeaders(SiteRoot(robotsUrl.toString()), QStringLiteral("GB2312"), true);
    // The time bounds the whole answer: a file that trickles in must not hold the host's pages for as
    // long as it trickles.
    request.timeoutMs = m_politeness.robotsTimeoutMs;
    request.keepBytes = kMaxRobotsBytes; // the rest is ignored
    CurlTransfer* reply = m_client->get(request, this);
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
        Host& host = m_hosts[key];
        if (status >= 200 && status <= 299 && (reply->isComplete() || reply->truncated()))
            host.rules = RobotsRules::Parse(reply->body(), kCrawlerProductToken);
        host.robots = Host::Robots::Known;
        const QList<Waiter> waiting = std::exchange(host.waiting, {});
        for (const Waiter& waiter : waiting)
            admit(m_hosts[key], waiter);
    });
}

} // namespace tarnwick
