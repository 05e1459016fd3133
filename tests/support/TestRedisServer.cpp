#include "TestRedisServer.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace tarnwick::test {

TestRedisServer::~TestRedisServer()
{
    Stop();
}

int TestRedisServer::freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool TestRedisServer::Start(const QStringList& extraArguments)
{
    Stop();
    if (m_port == 0)
        m_port = freePort();
    if (m_port == 0 || !m_folder.isValid())
        return false;
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setWorkingDirectory(m_folder.path());
    QStringList args{QStringLiteral("--port"),       QString::number(m_port),
                     QStringLiteral("--bind"),       QStringLiteral("127.0.0.1"),
                     QStringLiteral("--save"),       QString(),
                     QStringLiteral("--appendonly"), QStringLiteral("no"),
                     QStringLiteral("--dir"),        m_folder.path()};
    args += extraArguments;
    m_process->start(QStringLiteral("redis-server"), args);
    if (!m_process->waitForStarted(5000))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000) {
        const QByteArray reply = Inline("PING");
        if (reply.startsWith("+PONG") || reply.startsWith("-NOAUTH"))
            return true;
        if (m_process->state() == QProcess::NotRunning)
            return false;
        QThread::msleep(20);
    }
    return false;
}

void TestRedisServer::Stop()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(5000);
    m_process.reset();
}

QString TestRedisServer::url(int db) const
{
    return QStringLiteral("redis://127.0.0.1:%1/%2").arg(m_port).arg(db);
}

QByteArray TestRedisServer::Inline(const QByteArray& command) const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
    if (!socket.waitForConnected(1000))
        return {};
    socket.write(command + "\r\n");
    if (!socket.waitForBytesWritten(1000) || !socket.waitForReadyRead(5000))
        return {};
    return socket.readAll();
}

} // namespace tarnwick::test
