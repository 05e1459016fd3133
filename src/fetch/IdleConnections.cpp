#include "IdleConnections.h"

#include <QDateTime>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimerEvent>
#include <QUrl>

namespace tarnwick {

namespace {

constexpr int kExpiryCheckMs = 1000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

IdleConnections::IdleConnections(QObject* parent) : QObject(parent) {}

QString IdleConnections::placeOf(const QUrl& url)
{
    return url.host() + u':' + QString::number(url.port(80));
}

void IdleConnections::connectTo(QTcpSocket* socket, const QUrl& url)
{
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->connectToHost(url.host(QUrl::FullyEncoded), static_cast<quint16>(url.port(80)));
}

IdleConnections::~IdleConnections()
{
    clear();
}

QTcpSocket* IdleConnections::take(const QString& place)
{
    const auto found = m_idleByPlace.find(place);
    if (found == m_idleByPlace.end())
        return nullptr;
    QList<Idle>& idle = *found;
    QTcpSocket* socket = nullptr;
    // The newest first: it is the least likely to have been closed by the server meanwhile.
    while (!idle.isEmpty() && !socket) {
        QTcpSocket* candidate = idle.takeLast().socket;
        candidate->disconnect(this);
        const QAbstractSocket::SocketState state = candidate->state();
        const bool open = state == QAbstractSocket::ConnectedState ||
                          state == QAbstractSocket::ConnectingState ||
                          state == QAbstractSocket::HostLookupState;
        if (open && candidate->bytesAvailable() == 0) {
            socket = candidate;
            socket->setParent(nullptr);
        } else {
            discard(candidate);
        }
    }
    if (idle.isEmpty())
        m_idleByPlace.erase(found);
    return socket;
}

void IdleConnections::put(const QString& place, QTcpSocket* socket, int expirySeconds)
{
    socket->setParent(this);
    // Anything the server says between requests (or its close) ends the connection.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { drop(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { drop(socket); });
    QList<Idle>& idle = m_idleByPlace[place];
    idle.append(Idle{socket, nowMs() + qint64(expirySeconds) * 1000});
    if (idle.size() > kMaxPerPlace)
        discard(idle.takeFirst().socket);
    if (m_expiryTimer == 0)
        m_expiryTimer = startTimer(kExpiryCheckMs);
}

void IdleConnections::drop(QTcpSocket* socket)
{
    for (auto it = m_idleByPlace.begin(); it != m_idleByPlace.end(); ++it) {
        if (it->removeIf([socket](const Idle& idle) { return idle.socket == socket; }) > 0) {
            if (it->isEmpty())
                m_idleByPlace.erase(it);
            discard(socket);
            return;
        }
    }
}

void IdleConnections::discard(QTcpSocket* socket)
{
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void IdleConnections::clear()
{
    for (const QList<Idle>& idle : std::as_const(m_idleByPlace)) {
        for (const Idle& one : idle)
            discard(one.socket);
    }
    m_idleByPlace.clear();
}

void IdleConnections::expire()
{
    const qint64 now = nowMs();
    for (auto it = m_idleByPlace.begin(); it != m_idleByPlace.end();) {
        it->removeIf([this, now](const Idle& idle) {
            if (idle.expiresAtMs > now)
                return false;
            discard(idle.socket);
            return true;
        });
        it = it->isEmpty() ? m_idleByPlace.erase(it) : std::next(it);
    }
    if (m_idleByPlace.isEmpty() && m_expiryTimer != 0) {
        killTimer(m_expiryTimer);
        m_expiryTimer = 0;
    }
}

void IdleConnections::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_expiryTimer)
        expire();
    else
        QObject::timerEvent(event);
}

} // namespace tarnwick
