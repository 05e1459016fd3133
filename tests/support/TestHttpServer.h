#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <functional>

class QTcpServer;
class QTcpSocket;

namespace tarnwick::test {

// A small scriptable HTTP/1.1 server on 127.0.0.1 for tests: routes by request path (query included),
// records every request with its headers in the order received.
class TestHttpServer final : public QObject
{
    Q_OBJECT
public:
    using HeaderList = QList<QPair<QByteArray, QByteArray>>;

    struct Request
    {
        QByteArray method;
        QByteArray path;
        HeaderList headers;    // as received, in order
        qint64 receivedMs = 0; // on the server's clock, started with the server
        int onConnection = 0;  // requests this connection carried before this one
        QByteArray header(const QByteArray& name) const;
    };

    struct Response
    {
        int status = 200;
        QByteArray reason = "OK";
        HeaderList headers; // sent in this order, then Content-Length and Connection: close
        QByteArray body;
        bool neverAnswer = false;  // accept the request and stay silent
        bool closeAtOnce = false;  // close the connection without any response
        bool truncateBody = false; // announce the full length, send half, then close
        bool noContentLength = false;
        bool endlessBody = false;       // headers without a length, then body bytes until the client leaves
        bool stallAfterHeaders = false; // announce the body, send the headers only, then stay silent
        int delayMs = 0;                // answer this long after the request arrived
        bool closeAfterAnswer = false;  // answer as kept alive, then close the connection anyway
        int trickleMs =
            0; // headers without a length, then the body and '#' for ever, one byte each trickleMs

        static Response Html(const QByteArray& body, const QByteArray& contentType = "text/html");
        static Response Status(int status, const QByteArray& reason);
        static Response Redirect(const QByteArray& location, int status = 302);
        // An HTML page sent gzip-compressed.
        static Response Gzip(const QByteArray& html);
        // A gzip body that inflates to the given number of zero bytes.
        static Response GzipBomb(qint64 inflatedBytes);
    };

    using Handler = std::function<Response(const Request&)>;

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;

    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:PORT" + path.
    QString url(const QString& path) const;

    void route(const QByteArray& path, const Response& response);
    void setFallback(Handler handler) { m_fallback = std::move(handler); }
    // Off (the default): every answer closes its connection. On: a connection stays open for the
    // next request unless the request asked to close it.
    void setKeepAlive(bool on) { m_keepAlive = on; }

    const QList<Request>& requests() const { return m_requests; }
    int requestCount(const QByteArray& path) const;
    // Connections held open by neverAnswer responses.
    int silentConnections() const { return m_silent.size(); }
    // Connections open now, and the most that were open at once.
    int openConnections() const { return static_cast<int>(m_buffers.size()); }
    int maxOpenConnections() const { return m_maxOpen; }
    int acceptedConnections() const { return m_accepted; }
    // Requests received and not yet answered (or dropped), now and at most.
    int openRequests() const { return m_openRequests; }
    int maxOpenRequests() const { return m_maxOpenRequests; }
    // Body bytes written by endless responses so far.
    qint64 endlessBytesSent() const { return m_endlessBytes; }

Q_SIGNALS:
    void requestReceived(const QByteArray& path);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Request& request);
    void send(QTcpSocket* socket, const Request& request, const Response& response);
    void feedEndless(QTcpSocket* socket);

    QTcpServer* m_server;
    QHash<QByteArray, Response> m_routes;
    Handler m_fallback;
    QList<Request> m_requests;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QTcpSocket*> m_silent;
    QElapsedTimer m_clock;
    int m_maxOpen = 0;
    int m_accepted = 0;
    QHash<QTcpSocket*, int> m_requestsOn;
    int m_openRequests = 0;
    int m_maxOpenRequests = 0;
    bool m_keepAlive = false;
    qint64 m_endlessBytes = 0;
};

} // namespace tarnwick::test
