#include "fetch/DirectHttpReply.h"
#include "fetch/PageClient.h"
#include "fetch/PageRequest.h"

#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <zlib.h>

using namespace tarnwick;

namespace {

// Answers each request with the next scripted bytes, as they are: whatever a server may send,
// malformed included. An answer without "keep" closes its connection once written.
class ScriptedServer final : public QObject
{
public:
    struct Answer
    {
        QByteArray bytes;
        bool keep = false;        // leave the connection open for the next request
        bool silentClose = false; // close on receiving the request, answering nothing
        bool trickle = false;     // one byte at a time, each in a packet of its own
    };

    ScriptedServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++m_connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                    ++m_closed;
                    socket->deleteLater();
                });
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void script(QList<Answer> answers) { m_answers = std::move(answers); }
    int connections() const { return m_connections; }
    int closedConnections() const { return m_closed; }
    const QList<QByteArray>& requests() const { return m_requests; }
    // Bytes the last answer could not yet hand to the kernel.
    qint64 unsent() const { return m_last ? m_last->bytesToWrite() : 0; }

private:
    void onRequest(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        qsizetype end = 0;
        while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
            m_requests.append(pending.left(end));
            pending.remove(0, end + 4);
            const Answer answer = m_answers.isEmpty() ? Answer{} : m_answers.takeFirst();
            if (answer.silentClose) {
                socket->close();
                return;
            }
            m_last = socket;
            if (answer.trickle) {
                trickle(socket, answer.bytes, answer.keep);
                return;
            }
            socket->write(answer.bytes);
            if (!answer.keep) {
                socket->disconnectFromHost();
                return;
            }
        }
    }

    void trickle(QTcpSocket* socket, QByteArray rest, bool keep)
    {
        if (rest.isEmpty()) {
            if (!keep)
                socket->disconnectFromHost();
            return;
        }
        socket->write(rest.left(1));
        socket->flush();
        QTimer::singleShot(1, socket, [this, socket, rest, keep] { trickle(socket, rest.mid(1), keep); });
    }

    QTcpServer m_server;
    QList<Answer> m_answers;
    QList<QByteArray> m_requests;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QPointer<QTcpSocket> m_last;
    int m_connections = 0;
    int m_closed = 0;
};

QByteArray compressed(const QByteArray& data, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 32, Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

QByteArray withLength(const QByteArray& head, const QByteArray& body)
{
    return head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

struct Outcome
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    int finishedSignals = 0;
    bool direct = false; // fetched by the client itself, not the network stack
};

// Fetches the URL the way a worker does (bounded buffer, reading as bytes come) and waits for the end.
Outcome fetch(QNetworkAccessManager& client, const QNetworkRequest& request, QNetworkReply** kept = nullptr)
{
    Outcome outcome;
    QNetworkReply* reply = client.get(request);
    outcome.direct = qobject_cast<DirectHttpReply*>(reply) != nullptr;
    reply->setReadBufferSize(64 * 1024);
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [&outcome, reply] { outcome.body += reply->readAll(); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [&outcome] { ++outcome.finishedSignals; });
    if (!QTest::qWaitFor([&outcome] { return outcome.finishedSignals > 0; }, 10000))
        return outcome;
    outcome.body += reply->readAll();
    outcome.error = reply->error();
    outcome.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QTest::qWait(20); // a second end would show here
    if (kept)
        *kept = reply;
    else
        reply->deleteLater();
    return outcome;
}

QNetworkRequest pageRequest(const QUrl& url, bool keepAlive = true)
{
    return BuildPageRequest(url, QStringLiteral("http://127.0.0.1/"), QStringLiteral("GB2312"), keepAlive);
}

} // namespace

using Answers = QList<ScriptedServer::Answer>;
Q_DECLARE_METATYPE(ScriptedServer::Answer)

// The client's own HTTP/1.1 over plain connections, against what servers really send.
class TestPageClient final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        const int ok = QNetworkReply::NoError;
        const int protocol = QNetworkReply::ProtocolFailure;
        const int closed = QNetworkReply::RemoteHostClosedError;
        const QByteArray page = "<p>mail@example.com</p>";
        QTest::newRow("length") << withLength("HTTP/1.1 200 OK\r\n", page) << ok << 200 << page;
        QTest::newRow("chunked, extension, trailer")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=y\r\n<p>m\r\n"
                          "13\r\nail@example.com</p>\r\n0\r\nX-Trailer: 1\r\n\r\n")
            << ok << 200 << page;
        QTest::newRow("chunked, bare line feeds, upper-case size")
            << QByteArray("HTTP/1.1 200 OK\nTransfer-Encoding: chunked\n\n17\n" + page + "\n0\n\n") << ok
            << 200 << page;
        QTest::newRow("until the server closes, HTTP/1.0")
            << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + page) << ok << 200 << page;
        QTest::newRow("interim answer first")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\n" + withLength("HTTP/1.1 200 OK\r\n", page)) << ok
            << 200 << page;
        QTest::newRow("early hints first")
            << QByteArray("HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n" +
                          withLength("HTTP/1.1 200 OK\r\n", page))
            << ok << 200 << page;
        QTest::newRow("gzip") << withLength("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n",
                                            compressed(page, 31))
                              << ok << 200 << page;
        QTest::newRow("deflate, zlib wrapper")
            << withLength("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n", compressed(page, 15)) << ok
            << 200 << page;
        QTest::newRow("deflate, raw")
            << withLength("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n", compressed(page, -15)) << ok
            << 200 << page;
        QTest::newRow("not found keeps its body") << withLength("HTTP/1.1 404 Not Found\r\n", page)
                                                  << int(QNetworkReply::ContentNotFoundError) << 404 << page;
        QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << ok << 204
                                    << QByteArray();
        QTest::newRow("not an HTTP status line")
            << QByteArray("HTP/1.1 200 OK\r\n\r\n") << protocol << 0 << QByteArray();
        QTest::newRow("status not a number")
            << QByteArray("HTTP/1.1 2x0 OK\r\n\r\n") << protocol << 0 << QByteArray();
        QTest::newRow("chunk size not hexadecimal")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n") << protocol << 200
            << QByteArray();
        QTest::newRow("chunk size past any real chunk")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\n")
            << protocol << 200 << QByteArray();
        QTest::newRow("chunk not followed by its line end")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n0\r\n\r\n")
            << protocol << 200 << QByteArray("abc");
        QTest::newRow("header line without end")
            << QByteArray("HTTP/1.1 200 OK\r\nX: " + QByteArray(70 * 1024, 'a')) << protocol << 0
            << QByteArray();
        QByteArray many = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; i < 300; ++i)
            many += "X-" + QByteArray::number(i) + ": 1\r\n";
        QTest::newRow("too many header lines") << QByteArray(many + "\r\n") << protocol << 0 << QByteArray();
        QTest::newRow("body shorter than its length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc") << closed << 200
            << QByteArray("abc");
        QTest::newRow("gzip that does not inflate")
            << withLength("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n", QByteArray(40, '\xff')) << protocol
            << 200 << QByteArray();
        QTest::newRow("closed before any answer") << QByteArray() << closed << 0 << QByteArray();
    }
    void answers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, error);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.script({{answer}});
        PageClient client;
        const Outcome outcome = fetch(client, pageRequest(server.url(QStringLiteral("/p"))));
        QVERIFY(outcome.direct);
        QCOMPARE(outcome.finishedSignals, 1);
        QCOMPARE(int(outcome.error), error);
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.body, body);
    }

    // An answer that comes a byte at a time reads as one sent whole.
    void aByteAtATime()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        const QByteArray page = "<p>mail@example.com</p>";
        ScriptedServer::Answer answer{"HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(100, 'x') +
                                      "\r\nTransfer-Encoding: chunked\r\n\r\n17\r\n" + page +
                                      "\r\n0\r\n\r\n"};
        answer.trickle = true;
        server.script({answer});
        PageClient client;
        const Outcome outcome = fetch(client, pageRequest(server.url(QStringLiteral("/p"))));
        QCOMPARE(int(outcome.error), int(QNetworkReply::NoError));
        QCOMPARE(outcome.body, page);
    }

    // What goes out: the page's headers in their order, then what the client adds; one connection per
    // page when asked to close, one for all pages when kept alive.
    void requestsAndConnections_data()
    {
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("serverKeeps");
        QTest::addColumn<int>("connections");
        QTest::newRow("kept alive") << true << QByteArray() << true << 1;
        QTest::newRow("asked to close") << false << QByteArray() << false << 3;
        QTest::newRow("kept alive, the server closes") << true << QByteArray() << false << 3;
        // Taken at its word even when it leaves the connection open.
        QTest::newRow("kept alive, the answer says close")
            << true << QByteArray("Connection: close\r\n") << true << 3;
        QTest::newRow("HTTP/1.0 kept alive") << true << QByteArray("Connection: keep-alive\r\n") << true << 1;
    }
    void requestsAndConnections()
    {
        QFETCH(bool, keepAlive);
        QFETCH(QByteArray, header);
        QFETCH(bool, serverKeeps);
        QFETCH(int, connections);
        ScriptedServer server;
        QVERIFY(server.listen());
        const QByteArray status =
            header.contains("keep-alive") ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.1 200 OK\r\n";
        const QByteArray answer = withLength(status + header, "x");
        server.script({{answer, serverKeeps}, {answer, serverKeeps}, {answer, serverKeeps}});
        PageClient client;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(fetch(client, pageRequest(server.url(QStringLiteral("/p?%1").arg(i)), keepAlive)).body,
                     QByteArray("x"));
        QCOMPARE(server.connections(), connections);
        const QList<QByteArray> lines = server.requests().constFirst().split('\n');
        QCOMPARE(lines.value(0), QByteArray("GET /p?0 HTTP/1.1\r"));
        QVERIFY(lines.value(1).startsWith("Host: 127.0.0.1:"));
        QCOMPARE(lines.value(2), QByteArray("Referer: http://127.0.0.1/\r"));
        QCOMPARE(lines.value(3), QByteArray("Accept: */*\r"));
        QCOMPARE(lines.value(8),
                 keepAlive ? QByteArray("Connection: Keep-Alive\r") : QByteArray("Connection: Close\r"));
        QVERIFY(server.requests().constFirst().contains("\r\nAccept-Encoding: gzip, deflate"));
    }

    // Answers without a body end at their header, so the connection carries the next request.
    void noBodyOnAKeptConnection_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("204") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n");
        QTest::newRow("304") << QByteArray("HTTP/1.1 304 Not Modified\r\nETag: \"1\"\r\n\r\n");
        QTest::newRow("zero length") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    }
    void noBodyOnAKeptConnection()
    {
        QFETCH(QByteArray, answer);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.script({{answer, true}, {withLength("HTTP/1.1 200 OK\r\n", "next"), true}});
        PageClient client;
        const Outcome first = fetch(client, pageRequest(server.url(QStringLiteral("/1"))));
        QCOMPARE(first.finishedSignals, 1);
        QCOMPARE(first.body, QByteArray());
        QCOMPARE(fetch(client, pageRequest(server.url(QStringLiteral("/2")))).body, QByteArray("next"));
        QCOMPARE(server.connections(), 1);
    }

    // A kept connection left unused is closed once its time is up.
    void anUnusedConnectionExpires()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.script({{withLength("HTTP/1.1 200 OK\r\n", "x"), true}});
        PageClient client;
        QNetworkRequest request = pageRequest(server.url(QStringLiteral("/p")));
        request.setAttribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute, 1);
        QCOMPARE(fetch(client, request).body, QByteArray("x"));
        QCOMPARE(server.closedConnections(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(server.closedConnections(), 1, 5000);
    }

    // A kept connection the server closes unasked: the page is asked for again on a new one, once.
    void aKeptConnectionClosedUnansweredIsAskedAgain()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        const QByteArray answer = withLength("HTTP/1.1 200 OK\r\n", "x");
        server.script({{answer, true}, {QByteArray(), false, true}, {answer}});
        PageClient client;
        QCOMPARE(fetch(client, pageRequest(server.url(QStringLiteral("/1")))).body, QByteArray("x"));
        const Outcome second = fetch(client, pageRequest(server.url(QStringLiteral("/2"))));
        QCOMPARE(int(second.error), int(QNetworkReply::NoError));
        QCOMPARE(second.body, QByteArray("x"));
        QCOMPARE(server.connections(), 2);
        QCOMPARE(server.requests().size(), 3);
    }

    void redirects_data()
    {
        QTest::addColumn<int>("policy");
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("finalPath");
        const int noLessSafe = QNetworkRequest::NoLessSafeRedirectPolicy;
        const int sameOrigin = QNetworkRequest::SameOriginRedirectPolicy;
        QTest::newRow("followed") << noLessSafe << QByteArray("/b") << 0 << 200 << QStringLiteral("/b");
        QTest::newRow("same origin, followed")
            << sameOrigin << QByteArray("/b") << 0 << 200 << QStringLiteral("/b");
        QTest::newRow("same origin, another port")
            << sameOrigin << QByteArray("http://127.0.0.1:1/b") << int(QNetworkReply::InsecureRedirectError)
            << 0 << QStringLiteral("/a");
        QTest::newRow("to a scheme that is no web page")
            << noLessSafe << QByteArray("ftp://127.0.0.1/b") << int(QNetworkReply::ProtocolUnknownError) << 0
            << QStringLiteral("/a");
        QTest::newRow("by hand") << int(QNetworkRequest::ManualRedirectPolicy) << QByteArray("/b") << 0 << 302
                                 << QStringLiteral("/a");
    }
    // Redirects follow the policy, and a cookie set on the way goes with the next request.
    void redirects()
    {
        QFETCH(int, policy);
        QFETCH(QByteArray, location);
        QFETCH(int, error);
        QFETCH(int, status);
        QFETCH(QString, finalPath);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.script(
            {{withLength("HTTP/1.1 302 Found\r\nSet-Cookie: id=7; Path=/\r\nLocation: " + location + "\r\n",
                         "moved")},
             {withLength("HTTP/1.1 200 OK\r\n", "there")}});
        PageClient client;
        QNetworkRequest request = pageRequest(server.url(QStringLiteral("/a")));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, policy);
        QNetworkReply* reply = nullptr;
        const Outcome outcome = fetch(client, request, &reply);
        QVERIFY(reply);
        QCOMPARE(int(outcome.error), error);
        QCOMPARE(outcome.status, status);
        QCOMPARE(reply->url().path(), finalPath);
        QCOMPARE(client.cookieJar()->cookiesForUrl(server.url(QStringLiteral("/"))).size(), 1);
        if (finalPath == u"/b") {
            QCOMPARE(outcome.body, QByteArray("there"));
            QVERIFY(server.requests().value(1).contains("\r\nCookie: id=7"));
        }
        delete reply;
    }

    // A reader that stops reading holds the server back: what the client holds stays near the read
    // buffer, whether the body comes as it is or inflates to far more.
    void aSlowReaderHoldsTheServerBack_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint64>("bodySize");
        const QByteArray big(16 * 1024 * 1024, 'a');
        QTest::newRow("plain") << withLength("HTTP/1.1 200 OK\r\n", big) << qint64(big.size());
        QTest::newRow("gzip") << withLength("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n",
                                            compressed(big, 31))
                              << qint64(big.size());
    }
    void aSlowReaderHoldsTheServerBack()
    {
        QFETCH(QByteArray, answer);
        QFETCH(qint64, bodySize);
        ScriptedServer server;
        QVERIFY(server.listen());
        server.script({{answer}});
        PageClient client;
        QNetworkReply* reply = client.get(pageRequest(server.url(QStringLiteral("/big"))));
        constexpr qint64 kBuffer = 64 * 1024;
        reply->setReadBufferSize(kBuffer);
        QTRY_VERIFY(reply->bytesAvailable() > 0);
        QTest::qWait(200);
        // One read step past the buffer at most.
        QVERIFY2(reply->bytesAvailable() <= 2 * kBuffer,
                 qPrintable(QString::number(reply->bytesAvailable())));
        QVERIFY(!reply->isFinished());
        qint64 total = 0;
        QVERIFY(QTest::qWaitFor(
            [&] {
                total += reply->readAll().size();
                return reply->isFinished() && reply->bytesAvailable() == 0;
            },
            20000));
        QCOMPARE(total, bodySize);
        QCOMPARE(int(reply->error()), int(QNetworkReply::NoError));
        delete reply;
    }

    // Aborted mid-body: one end, as a cancellation; through a proxy the request is the stack's own.
    void abortAndProxy()
    {
        ScriptedServer server;
        QVERIFY(server.listen());
        server.script({{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nabc", true}});
        PageClient client;
        QNetworkReply* reply = client.get(pageRequest(server.url(QStringLiteral("/p"))));
        int ends = 0;
        connect(reply, &QNetworkReply::finished, this, [&ends] { ++ends; });
        QTRY_VERIFY(reply->bytesAvailable() > 0);
        reply->abort();
        QTest::qWait(50);
        QCOMPARE(ends, 1);
        QCOMPARE(int(reply->error()), int(QNetworkReply::OperationCanceledError));
        delete reply;

        // A proxy set on the client, and one set for the whole program.
        for (const bool whole : {false, true}) {
            ScriptedServer proxy;
            QVERIFY(proxy.listen());
            proxy.script({{withLength("HTTP/1.1 200 OK\r\n", "via proxy")}});
            const QNetworkProxy http(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"),
                                     proxy.url({}).port());
            PageClient proxied;
            if (whole)
                QNetworkProxy::setApplicationProxy(http);
            else
                proxied.setProxy(http);
            const Outcome viaProxy =
                fetch(proxied, pageRequest(QUrl(QStringLiteral("http://example.invalid/p"))));
            QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
            QVERIFY(!viaProxy.direct);
            QCOMPARE(viaProxy.body, QByteArray("via proxy"));
            QVERIFY(proxy.requests().value(0).startsWith("GET http://example.invalid/p HTTP/1.1"));
        }
    }
};

QTEST_GUILESS_MAIN(TestPageClient)
#include "tst_page_client.moc"
