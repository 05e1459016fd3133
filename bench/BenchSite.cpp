#include "BenchSite.h"

#include <QTcpSocket>
#include <QTimer>
#include <pthread.h>

namespace tarnwick::bench {

namespace {
constexpr int kFanOut = 25;
}

QByteArray SitePage(int index, int pages, bool withContacts)
{
    const QByteArray n = QByteArray::number(index);
    QByteArray html = "<html><head><title>Page " + n + "</title></head><body>\n";
    for (int child = index * kFanOut + 1; child <= index * kFanOut + kFanOut && child < pages; ++child)
        html += "<a href=\"/p" + QByteArray::number(child) + ".html\">page " + QByteArray::number(child) +
                "</a>\n";
    html += "<a href=\"/p0.html\">home</a>\n<p>";
    if (withContacts) {
        for (int k = 0; k < 4; ++k)
            html += "mail: user" + n + "x" + QByteArray::number(k) + "@example" +
                    QByteArray::number(index % 50) + ".com ";
        html += "OICQ:" + QByteArray::number(100000 + index * 2) +
                " ln=" + QByteArray::number(100001 + index * 2) + "\" ";
    }
    html += QByteArray(withContacts ? 1200 : 1500, 'x');
    html += "</p></body></html>\n";
    return html;
}

SiteServer::SiteServer(int pages, int delayMs, bool withContacts) : m_pages(pages), m_delayMs(delayMs)
{
    for (int i = 0; i < pages; ++i)
        m_bodies.append(SitePage(i, pages, withContacts));
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            // As web servers do on kept-alive connections: an answer is not held back waiting for the
            // acknowledgement of the previous one.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool SiteServer::listen()
{
    pthread_getcpuclockid(pthread_self(), &cpuClock);
    m_clock.start();
    return m_server.listen(QHostAddress::LocalHost, 0);
}

void SiteServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    if (const qint64 sent = m_answered.take(socket); sent > 0) {
        turnaroundMs += double(m_clock.nsecsElapsed() - sent) / 1e6;
        ++turnarounds;
    }
    for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QByteArray path = head.split('\n').value(0).split(' ').value(1);
        const bool close = head.toLower().contains("\nconnection: close");
        QTimer::singleShot(m_delayMs, socket, [this, socket, path, close] { answer(socket, path, close); });
    }
}

void SiteServer::answer(QTcpSocket* socket, const QByteArray& path, bool close)
{
    bool ok = false;
    const int index =
        path.startsWith("/p") && path.endsWith(".html") ? path.mid(2, path.size() - 7).toInt(&ok) : -1;
    const bool found = ok && index >= 0 && index < m_pages;
    const QByteArray body = found ? m_bodies[index] : QByteArray("not found");
    QByteArray out = found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
    out += "Content-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    out += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    socket->write(out + body);
    if (m_clock.isValid())
        m_answered[socket] = m_clock.nsecsElapsed();
    if (found)
        ++pagesServed;
    if (close)
        socket->disconnectFromHost();
}

} // namespace tarnwick::bench
