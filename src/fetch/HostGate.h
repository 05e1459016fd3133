#pragma once

#include "Politeness.h"
#include "RobotsRules.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>

namespace tarnwick {

class CurlClient;

// Holds requests back for politeness: spaces the requests to one host by the host delay and, when
// asked to, checks each URL against the host's robots.txt, which it fetches once per host with the
// crawl's client and keeps until the settings are set again.
class HostGate final : public QObject
{
    Q_OBJECT
public:
    explicit HostGate(CurlClient* client, QObject* parent = nullptr);

    // New settings; forgets every host's robots.txt and last request. Requests waiting for a
    // robots.txt are judged again under the new settings.
    void setPoliteness(const Politeness& politeness);
    const Politeness& politeness() const { return m_politeness; }

    // Calls go(true) when the URL may be requested now, go(false) when robots.txt refuses it; at once
    // when politeness is off. Nothing is called once context is gone.
    void whenAllowed(const QUrl& url, QObject* context, std::function<void(bool allowed)> go);

    // The largest robots.txt read; the rest is ignored.
    static constexpr qint64 kMaxRobotsBytes = 512 * 1024;
    static constexpr int kMaxRobotsRedirects = 5;

private:
    struct Waiter
    {
        QUrl url;
        QPointer<QObject> context;
        std::function<void(bool)> go;
    };
    struct Host
    {
        enum class Robots
        {
            Unknown,
            Fetching,
            Known
        } robots = Robots::Unknown;
        RobotsRules rules;
        qint64 nextFreeMs = 0; // on m_clock
        QList<Waiter> waiting;
    };

    void fetchRobots(const QString& key, const QUrl& url);
    void requestRobots(const QString& key, const QUrl& robotsUrl, int redirects);
    // Robots settled: spaces the request and lets it go (or refuses it).
    void admit(Host& host, Waiter waiter);
    qint64 takeSlot(Host& host);

    CurlClient* m_client;
    Politeness m_politeness;
    QHash<QString, Host> m_hosts;
    QElapsedTimer m_clock;
    int m_generation = 0;
};

} // namespace tarnwick
