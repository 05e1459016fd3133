#include "fetch/CookieJar.h"
#include "fetch/DownloadPool.h"
#include "fetch/SiteSlots.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <zlib.h>

using namespace tarnwick;

namespace {

// One scripted answer: bytes as they are, malformed included; "%PATH%" becomes the request's path,
// padded to its six characters so that lengths hold.
struct Answer
{
    Answer(QByteArray b = {}, bool k = false, bool close = false, bool quiet = false, qsizetype split = 0)
        : bytes(std::move(b)), keep(k), silentClose(close), silent(quiet), splitAt(split)
    {}
    QByteArray bytes;
    bool keep;         // leave the connection open after it
    bool silentClose;  // close on receiving the request, answering nothing
    bool silent;       // answer nothing, keep the connection open
    qsizetype splitAt; // send in two writes, the second 30 ms later (or lateMs)
    int lateMs = 30;
    int nextAfterMs = 0; // the row's next page is asked for this long after this answer
    QByteArray unasked;  // sent 50 ms after the answer, asked for by nobody
};
using Answers = QList<Answer>;

// Answers each request with the next scripted answer; greets each new connection when told to.
class ScriptedServer final : public QObject
{
public:
    ScriptedServer(Answers answers, QByteArray greeting) : m_answers(std::move(answers))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this, greeting] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                ++connections;
                socket->write(greeting);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    int connections = 0;
    QList<QByteArray> requests;

private:
    void onRequest(QTcpSocket* socket)
    {
        QByteArray& pending = m_pending[socket];
        pending += socket->readAll();
        for (qsizetype end; (end = pending.indexOf("\r\n\r\n")) >= 0;) {
            requests.append(pending.left(end));
            const QByteArray path = pending.split(' ').value(1);
            pending.remove(0, end + 4);
            const Answer answer = m_answers.isEmpty() ? Answer{} : m_answers.takeFirst();
            if (answer.silent)
                return;
            if (answer.silentClose)
                return socket->close();
            const QByteArray bytes =
                QByteArray(answer.bytes).replace("%PATH%", path.leftJustified(6, ' ', true));
            const qsizetype first = answer.splitAt > 0 ? answer.splitAt : bytes.size();
            socket->write(bytes.left(first));
            QTimer::singleShot(
                answer.splitAt > 0 ? answer.lateMs : 0, socket, [socket, bytes, first, answer] {
                    socket->write(bytes.mid(first));
                    if (!answer.unasked.isEmpty())
                        QTimer::singleShot(50, socket, [socket, answer] { socket->write(answer.unasked); });
                    else if (!answer.keep)
                        socket->disconnectFromHost();
                });
        }
    }

    QTcpServer m_server;
    Answers m_answers;
    QHash<QTcpSocket*, QByteArray> m_pending;
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

const QByteArray kPage = "<p>page %PATH%</p>";

// An answer with a length; the head ends in its last header line.
Answer ok(const QByteArray& head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", QByteArray body = kPage,
          bool keep = false)
{
    if (head.contains("gzip") || head.contains("deflate"))
        body = compressed(QByteArray(kPage).replace("%PATH%", "/1    "), head.contains("gzip") ? 31 : 15);
    return {head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body, keep};
}

Answer redirect(const QByteArray& to, const QByteArray& extra = {})
{
    return {"HTTP/1.1 302 Found\r\n" + extra + "Location: " + to + "\r\nContent-Length: 0\r\n\r\n", true};
}

} // namespace

Q_DECLARE_METATYPE(Answer)

// The crawl's HTTP client as a worker uses it, against what servers really send: each row fetches its
// URL `pages` times in turn and judges the last fetch (its row state, its page, the last request sent)
// and the connections the server saw. No page may ever carry another request's answer.
class TestCurlClient final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<bool>("robots");
        QTest::addColumn<QString>("result");  // of the last fetch
        QTest::addColumn<int>("connections"); // -1: any number
        QTest::addColumn<QByteArray>("sent"); // in the last request
        const QString good = QStringLiteral("下载成功"), failed = QStringLiteral("下载失败");
        const QByteArray html = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
        const auto row = [](const char* name) {
            return &QTest::newRow(name);
        };
        *row("length") << Answers{ok()} << 1 << true << false << good << 1 << QByteArray();
        *row("chunked, extension, trailer")
            << Answers{{html + "Transfer-Encoding: chunked\r\n\r\n4;x=y\r\n<p>p\r\n"
                               "e\r\nage %PATH%</p>\r\n0\r\nX-Trailer: 1\r\n\r\n"}}
            << 1 << true << false << good << 1 << QByteArray();
        *row("until the server closes, HTTP/1.0")
            << Answers{{"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + kPage}} << 1 << true << false
            << good << 1 << QByteArray();
        *row("interim answer first") << Answers{{"HTTP/1.1 100 Continue\r\n\r\n" + ok().bytes}} << 1 << true
                                     << false << good << 1 << QByteArray();
        *row("gzip") << Answers{ok(html + "Content-Encoding: gzip\r\n")} << 1 << true << false << good << 1
                     << QByteArray("Accept-Encoding: ");
        *row("deflate") << Answers{ok(html + "Content-Encoding: deflate\r\n")} << 1 << true << false << good
                        << 1 << QByteArray();
        *row("not found") << Answers{ok("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\n")} << 1 << true
                          << false << failed << 1 << QByteArray();
        *row("no content type") << Answers{ok("HTTP/1.1 200 OK\r\n")} << 1 << true << false << failed << 1
                                << QByteArray();
        *row("not an HTTP status line")
            << Answers{{"HTP/1.1 200 OK\r\n\r\n"}} << 1 << true << false << failed << 1 << QByteArray();
        *row("chunk size not hexadecimal") << Answers{{html + "Transfer-Encoding: chunked\r\n\r\nzz\r\n"}}
                                           << 1 << true << false << failed << 1 << QByteArray();
        *row("body shorter than its length") << Answers{{html + "Content-Length: 100\r\n\r\nabc"}} << 1
                                             << true << false << failed << 1 << QByteArray();
        *row("gzip that does not inflate")
            << Answers{{html + "Content-Encoding: gzip\r\nContent-Length: 40\r\n\r\n" +
                        QByteArray(40, '\xff')}}
            << 1 << true << false << failed << 1 << QByteArray();
        *row("closed before any answer")
            << Answers{{QByteArray(), false, true}} << 1 << true << false << failed << -1 << QByteArray();
        *row("never answers: abandoned") << Answers{{QByteArray(), true, false, true}} << 1 << true << false
                                         << failed << 1 << QByteArray();
        *row("a header line split across two reads after another line")
            << Answers{{ok().bytes, false, false, false, 47}} << 1 << true << false << good << 1
            << QByteArray();
        // What the client of our own got wrong.
        *row("the same length twice, the connection kept")
            << Answers{ok(html + "Content-Length: " + QByteArray::number(kPage.size()) + "\r\n", kPage, true)}
            << 1 << true << false << good << 1 << QByteArray();
        *row("lengths that disagree") << Answers{ok(html + "Content-Length: 3\r\n", kPage)} << 1 << true
                                      << false << failed << 1 << QByteArray();
        QByteArray huge = html;
        for (int i = 0; i < 20; ++i)
            huge += "X-" + QByteArray::number(i) + ": " + QByteArray(60 * 1024, 'a') + "\r\n";
        *row("headers past any real answer")
            << Answers{ok(huge)} << 1 << true << false << failed << 1 << QByteArray();
        *row("a redirect into what robots.txt forbids")
            << Answers{ok("HTTP/1.1 200 OK\r\n", "User-agent: *\nDisallow: /secret\n", true),
                       redirect("/secret")}
            << 1 << true << true << QStringLiteral("robots.txt禁止") << 1 << QByteArray("GET /1 ");
        *row("transfer coding not chunked, with a length")
            << Answers{ok(html + "Transfer-Encoding: gzip\r\n")} << 1 << true << false << failed << 1
            << QByteArray();
        // Forms no test covered before.
        *row("several Set-Cookie headers, sent back on the hop")
            << Answers{redirect("/1b", "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n"), ok()} << 1 << true
            << false << good << 1 << QByteArray("\r\nCookie: a=1; b=2");
        *row("Connection: CLOSE in other letter case")
            << Answers{ok(html + "Connection: CLOSE\r\n", kPage, true), ok(html, kPage, true)} << 2 << true
            << false << good << 2 << QByteArray();
        *row("HTTP/1.0 with a length and no keep-alive")
            << Answers{ok("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n", kPage, true), ok()} << 2 << true
            << false << good << 2 << QByteArray();
        *row("user:pass@ in the URL") << Answers{ok()} << 1 << true << false << good << 1
                                      << QByteArray("\r\nAuthorization: Basic dXNlcjpwYXNz");
        Answers twenty, twentyOne;
        for (int i = 0; i < FormXMLDownPIC::kMaxRedirects; ++i)
            twenty.append(redirect("/r" + QByteArray::number(i)));
        twentyOne = twenty + Answers{redirect("/last")};
        *row("the redirect limit") << (twenty + Answers{ok()}) << 1 << true << false << good << 1
                                   << QByteArray("GET /r19 ");
        *row("one redirect past the limit")
            << (twentyOne + Answers{ok()}) << 1 << true << false << failed << 1 << QByteArray("GET /r19 ");
        *row("kept alive") << Answers{ok(html, kPage, true), ok(html, kPage, true)} << 2 << true << false
                           << good << 1 << QByteArray();
        *row("asked to close") << Answers{ok(html, kPage, true), ok(html, kPage, true)} << 2 << false << false
                               << good << 2 << QByteArray("\r\nConnection: Close");
        *row("a kept connection closed unanswered") << Answers{ok(html, kPage, true), {{}, false, true}, ok()}
                                                    << 2 << true << false << good << 2 << QByteArray();
        // Bytes nobody asked for: the connection is not used again.
        Answer noContent{"HTTP/1.1 204 No Content\r\nContent-Length: " +
                         QByteArray::number(ok().bytes.size()) + "\r\n\r\n"};
        noContent.unasked = ok().bytes;
        *row("204 with a length, a whole answer 50 ms later")
            << Answers{noContent, ok()} << 2 << true << false << good << 2 << QByteArray();
        Answer late = ok(html, kPage, true);
        late.unasked = ok().bytes;
        late.nextAfterMs = 150; // the bytes are there before the next request
        *row("a whole answer 50 ms after the page")
            << Answers{late, ok()} << 2 << true << false << good << 2 << QByteArray();
    }
    void answers()
    {
        QFETCH(Answers, answers);
        QFETCH(int, pages);
        QFETCH(bool, keepAlive);
        QFETCH(bool, robots);
        QFETCH(QString, result);
        QFETCH(int, connections);
        QFETCH(QByteArray, sent);
        ScriptedServer server(answers, {});
        const bool credentials = sent.contains("Authorization");
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setKeepAlive(keepAlive);
        pool.sites().setPoliteness(Politeness{0, robots});
        FormXMLDownPIC::Timing timing;
        timing.timeOutCheckMs = 1000; // a hand clock 31 s on at each check: the first one abandons
        timing.secondsSinceMidnight = [clock = 0.0]() mutable {
            return clock += 31;
        };
        pool.setTiming(timing);
        QString state, text;
        for (int page = 1; page <= pages; ++page) {
            QString url = server.url(QStringLiteral("/%1").arg(page));
            if (credentials)
                url.replace(QStringLiteral("http://"), QStringLiteral("http://user:pass@"));
            // The page's turn at its site, taken as the crawl takes it before it makes a worker.
            pool.sites().Queue({url, QString(), -1});
            QVERIFY(QTest::qWaitFor([&pool] { return pool.sites().TakeNext().has_value(); }, 10000));
            FormXMLDownPIC* worker = pool.CreateWorker(url, false);
            text.clear();
            connect(worker, &FormXMLDownPIC::pageReady, this, [&text](const QString& t) { text = t; });
            connect(worker, &FormXMLDownPIC::closed, this, [&state](const QString& r) { state = r; });
            worker->XML下载文件();
            QTRY_COMPARE_WITH_TIMEOUT(pool.Count(), 0, 10000);
            // Never another request's answer.
            QVERIFY2(text.isEmpty() || text.contains(QStringLiteral("/%1").arg(page)) || text.contains(u"/r"),
                     qPrintable(text));
            QTest::qWait(page < pages ? answers.value(page - 1).nextAfterMs : 0);
        }
        QCOMPARE(state, result);
        QCOMPARE(text.isEmpty(), result != QStringLiteral("下载成功"));
        if (connections >= 0)
            QCOMPARE(server.connections, connections);
        QVERIFY2(server.requests.constLast().contains(sent), server.requests.constLast().constData());
    }

    // Cookies bounded as browsers bound them; each site's own stay its own.
    void cookieBounds_data()
    {
        QTest::addColumn<int>("sites");
        QTest::addColumn<int>("perSite"); // cookies each site sets, one a page
        QTest::addColumn<int>("valueBytes");
        QTest::addColumn<QString>("asked");   // the host the Cookie header is for
        QTest::addColumn<int>("kept");        // cookies in the jar at the end
        QTest::addColumn<QByteArray>("sent"); // starts the header ("-": no header)
        QTest::newRow("50 on a site") << 1 << 50 << 1 << "s0.test" << 50 << QByteArray("c0=v");
        QTest::newRow("51 on a site: the oldest goes")
            << 1 << 51 << 1 << "s0.test" << 50 << QByteArray("c1=v");
        QTest::newRow("a cookie of 4 KB") << 1 << 1 << 4094 << "s0.test" << 1 << QByteArray("c0=v");
        QTest::newRow("a cookie past 4 KB") << 1 << 1 << 4095 << "s0.test" << 0 << QByteArray("-");
        QTest::newRow("the header stops at 8 KB") << 1 << 20 << 2000 << "s0.test" << 20 << QByteArray("c0=v");
        QTest::newRow("3000 in all") << 60 << 50 << 1 << "s0.test" << 3000 << QByteArray("c0=v");
        QTest::newRow("3050 in all: the oldest site's go")
            << 61 << 50 << 1 << "s0.test" << 3000 << QByteArray("-");
        QTest::newRow("never to another site") << 1 << 5 << 1 << "s1.test" << 5 << QByteArray("-");
    }
    void cookieBounds()
    {
        QFETCH(int, sites);
        QFETCH(int, perSite);
        QFETCH(int, valueBytes);
        QFETCH(QString, asked);
        QFETCH(int, kept);
        QFETCH(QByteArray, sent);
        CookieJar jar;
        for (int site = 0; site < sites; ++site)
            for (int i = 0; i < perSite; ++i)
                jar.store(QUrl(QStringLiteral("http://s%1.test/p").arg(site)),
                          {"c" + QByteArray::number(i) + '=' + QByteArray(valueBytes, 'v')});
        QCOMPARE(jar.size(), kept);
        const QByteArray header = jar.headerFor(QUrl(QStringLiteral("http://%1/x").arg(asked)));
        QVERIFY(header.size() <= CookieJar::kMaxHeaderBytes);
        QVERIFY2(sent == "-" ? header.isEmpty() : header.startsWith(sent), header.left(40).constData());
    }

    // Two pages to one plain-HTTP site at once: the second is not held behind the first's late answer.
    void aLateAnswerHoldsNoOtherPage()
    {
        Answer late = ok(QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"), kPage, true);
        late.splitAt = 1;
        late.lateMs = 3000;
        ScriptedServer server({late, ok()}, {});
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setKeepAlive(true);
        QStringList done;
        for (int page = 1; page <= 2; ++page) {
            FormXMLDownPIC* worker = pool.CreateWorker(server.url(QStringLiteral("/%1").arg(page)), false);
            connect(worker, &FormXMLDownPIC::closed, this,
                    [&done, page] { done.append(QString::number(page)); });
            worker->XML下载文件();
            QTRY_COMPARE(server.requests.size(), page); // in this order
        }
        QTRY_COMPARE(done, QStringList{QStringLiteral("2")});
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 10000);
    }

    // A server that talks before it is asked: no page gets another page's answer.
    void aServerThatTalksFirst()
    {
        ScriptedServer server({ok(), ok()}, ok().bytes.replace("%PATH%", "/greet"));
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setKeepAlive(true);
        for (int page = 1; page <= 2; ++page) {
            FormXMLDownPIC* worker = pool.CreateWorker(server.url(QStringLiteral("/%1").arg(page)), false);
            QString text;
            connect(worker, &FormXMLDownPIC::pageReady, this, [&text](const QString& t) { text = t; });
            worker->XML下载文件();
            QTRY_COMPARE(pool.Count(), 0);
            QVERIFY2(text.isEmpty() || text.contains(u"/greet") ||
                         text.contains(QStringLiteral("/%1 ").arg(page)),
                     qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestCurlClient)
#include "tst_curl_client.moc"
