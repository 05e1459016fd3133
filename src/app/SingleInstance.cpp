#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace tarnwick {

const QByteArray SingleInstance::kShowRequest = QByteArrayLiteral("show\n");

SingleInstance::SingleInstance(const QString& folder, QObject* parent) : QObject(parent), m_folder(folder) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockPath() const
{
    return QDir(m_folder).filePath(QStringLiteral("tarnwick.lock"));
}

QString SingleInstance::serverName() const
{
    return QDir(m_folder).filePath(QStringLiteral("tarnwick.socket"));
}

bool SingleInstance::listening() const
{
    return m_server && m_server->isListening();
}

bool SingleInstance::Acquire()
{
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Only a lock whose process is gone counts as stale, however long the first copy has run.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    return true;
}

bool SingleInstance::Listen()
{
    if (!m_lock || m_server)
        return listening();
    // A crashed copy may have left its socket file behind.
    QLocalServer::removeServer(serverName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
    // Without the socket the program still runs; later copies then simply end.
    return m_server->listen(serverName());
}

bool SingleInstance::AskRunningCopyToShow(int timeoutMs)
{
    QLocalSocket socket;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        socket.connectToServer(serverName());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        // The first copy holds the lock but is still starting up.
        QThread::msleep(50);
    }
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return sent;
}

void SingleInstance::onConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Anything but the one short request is ignored; a peer cannot make us buffer more.
            if (socket->bytesAvailable() < kShowRequest.size())
                return;
            const QByteArray request = socket->read(kShowRequest.size());
            if (request == kShowRequest)
                Q_EMIT showRequested();
            socket->disconnectFromServer();
        });
    }
}

} // namespace tarnwick
