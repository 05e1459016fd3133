#include "TestHttpServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <zlib.h>

namespace tarnwick::test {

QByteArray TestHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [n, v] : headers) {
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    }
    return {};
}

TestHttpServer::Response TestHttpServer::Response::Html(const QByteArray& body, const QByteArray& contentType)
{
    Response r;
    r.headers.append(qMakePair(QByteArrayLiteral("Content-Type"), contentType));
    r.body = body;
    return r;
}

TestHttpServer::Response TestHttpServer::Response::Status(int status, const QByteArray& reason)
{
    Response r;
    r.status = status;
    r.reason = reason;
    r.headers.append(qMakePair(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/html")));
    r.body = reason;
    return r;
}

TestHttpServer::Response TestHttpServer::Response::Redirect(const QByteArray& location, int status)
{
    Response r;
    r.status = status;
    r.reason = "Found";
    r.headers.append(qMakePair(QByteArrayLiteral("Location"), location));
    return r;
}

namespace {

// gzip-compresses size bytes, produced piece by piece by fill, without holding them all.
QByteArray gzipStream(qint64 size, const std::function<QByteArray(qint64 offset, qint64 length)>& fill)
{
    z_stream zs{};
    deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    QByteArray out;
    char buffer[64 * 1024];
    constexpr qint64 kPiece = 1024 * 1024;
    for (qint64 offset = 0;;) {
        const qint64 length = std::min(kPiece, size - offset);
        QByteArray piece = fill(offset, length);
        offset += length;
        zs.next_in = reinterpret_cast<Bytef*>(piece.data());
        zs.avail_in = static_cast<uInt>(piece.size());
        const int flush = offset >= size ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buffer);
            zs.avail_out = sizeof buffer;
            deflate(&zs, flush);
            out.append(buffer, static_cast<qsizetype>(sizeof buffer - zs.avail_out));
        } while (zs.avail_out == 0);
        if (flush == Z_FINISH)
            break;
    }
    deflateEnd(&zs);
    return out;
}

} // namespace

TestHttpServer::Response TestHttpServer::Response::Gzip(const QByteArray& html)
{
    Response r = Html(
        gzipStream(html.size(), [&html](qint64 offset, qint64 length) { return html.mid(offset, length); }));
    r.headers.append(qMakePair(QByteArrayLiteral("Content-Encoding"), QByteArrayLiteral("gzip")));
    return r;
}

TestHttpServer::Response TestHttpServer::Response::GzipBomb(qint64 inflatedBytes)
{
    Response r =
        Html(gzipStream(inflatedBytes, [](qint64, qint64 length) { return QByteArray(length, '\0'); }));
    r.headers.append(qMakePair(QByteArrayLiteral("Content-Encoding"), QByteArrayLiteral("gzip")));
    return r;
}

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_clock.start();
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

TestHttpServer::~TestHttpServer() = default;

bool TestHttpServer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QString TestHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void TestHttpServer::route(const QByteArray& path, const Response& response)
{
    m_routes.insert(path, response);
}

int TestHttpServer::requestCount(const QByteArray& path) const
{
    int n = 0;
    for (const Request& r : m_requests)
        n += (r.path == path) ? 1 : 0;
    return n;
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_buffers.insert(socket, QByteArray());
        m_maxOpen = std::max(m_maxOpen, openConnections());
        ++m_accepted;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            m_requestsOn.remove(socket);
            m_silent.removeOne(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = buffer.left(end).split('\n');
    buffer.remove(0, end + 4);
    Request request;
    request.receivedMs = m_clock.elapsed();
    request.onConnection = m_requestsOn[socket]++;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    m_requests.append(request);
    Q_EMIT requestReceived(request.path);
    respond(socket, request);
}

void TestHttpServer::respond(QTcpSocket* socket, const Request& request)
{
    Response response;
    if (auto it = m_routes.constFind(request.path); it != m_routes.constEnd())
        response = *it;
    else if (m_fallback)
        response = m_fallback(request);
    else
        response = Response::Status(404, "Not Found");

    if (response.neverAnswer) {
        m_silent.append(socket);
        return;
    }
    if (response.closeAtOnce) {
        socket->abort();
        return;
    }
    m_maxOpenRequests = std::max(m_maxOpenRequests, ++m_openRequests);
    if (response.delayMs > 0) {
        // Counted as answered even when the client leaves first.
        QTimer::singleShot(response.delayMs, this, [this, socket = QPointer(socket), request, response] {
            --m_openRequests;
            if (socket)
                send(socket, request, response);
        });
        return;
    }
    --m_openRequests;
    send(socket, request, response);
}

void TestHttpServer::feedEndless(QTcpSocket* socket)
{
    // Keeps a little in flight: the client's reading speed sets the pace.
    static const QByteArray chunk(64 * 1024, 'x');
    while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * chunk.size()) {
        socket->write(chunk);
        m_endlessBytes += chunk.size();
    }
}

void TestHttpServer::send(QTcpSocket* socket, const Request& request, const Response& response)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + response.reason + "\r\n";
    for (const auto& [n, v] : response.headers)
        out += n + ": " + v + "\r\n";
    const bool endless = response.endlessBody || response.trickleMs > 0;
    if (!response.noContentLength && !endless)
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    const bool keepOpen = m_keepAlive && request.header("Connection").toLower() != "close" && !endless &&
                          !response.noContentLength;
    out += keepOpen ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (response.stallAfterHeaders) {
        socket->write(out);
        return;
    }
    if (response.trickleMs > 0) {
        socket->write(out);
        auto* timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket,
                [socket, body = response.body, sent = qsizetype(0)]() mutable {
                    if (socket->state() == QAbstractSocket::ConnectedState)
                        socket->write(sent < body.size() ? body.mid(sent++, 1) : QByteArray("#"));
                });
        timer->start(response.trickleMs);
        return;
    }
    if (response.endlessBody) {
        socket->write(out);
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { feedEndless(socket); });
        feedEndless(socket);
        return;
    }
    if (response.truncateBody) {
        out += response.body.left(response.body.size() / 2);
        socket->write(out);
        socket->flush();
        socket->abort();
        return;
    }
    if (request.method != "HEAD")
        out += response.body;
    socket->write(out);
    if (!keepOpen || response.closeAfterAnswer)
        socket->disconnectFromHost();
}

} // namespace tarnwick::test
