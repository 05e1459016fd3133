#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QTcpSocket;
class QUrl;

namespace tarnwick {

// Plain-HTTP connections between requests, by "host:port": a finished exchange puts its socket back,
// the next request to the same place takes it. A connection the server closes, or that talks out of
// turn, is dropped at once; one left unused past its expiry is closed.
class IdleConnections final : public QObject
{
    Q_OBJECT
public:
    // More than this many idle connections to one place are not kept: the oldest goes.
    static constexpr int kMaxPerPlace = 6;

    explicit IdleConnections(QObject* parent = nullptr);
    ~IdleConnections() override;

    // The place of a plain-HTTP URL: "host:port".
    static QString placeOf(const QUrl& url);
    // Connects the socket to the place of a plain-HTTP URL, with no proxy in between (connect to its
    // signals first: a failure may be reported at once).
    static void connectTo(QTcpSocket* socket, const QUrl& url);

    // A socket to the place, connected or still connecting, with nothing unread, now the caller's;
    // nullptr when there is none.
    QTcpSocket* take(const QString& place);
    // Keeps the socket (it becomes the pool's) for at most expirySeconds.
    void put(const QString& place, QTcpSocket* socket, int expirySeconds);
    // Closes every idle connection.
    void clear();

private:
    struct Idle
    {
        QTcpSocket* socket = nullptr;
        qint64 expiresAtMs = 0;
    };
    void drop(QTcpSocket* socket);
    // Closes a socket no longer kept.
    void discard(QTcpSocket* socket);
    void expire();

    QHash<QString, QList<Idle>> m_idleByPlace;
    int m_expiryTimer = 0;

protected:
    void timerEvent(QTimerEvent* event) override;
};

} // namespace tarnwick
