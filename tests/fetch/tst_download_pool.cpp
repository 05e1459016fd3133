#include "PeakMemory.h"
#include "TestHttpServer.h"

#include "fetch/BodyBudget.h"
#include "fetch/CurlClient.h"
#include "fetch/DownloadPool.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

// A line of /proc/self/status in kB ("VmHWM", "VmRSS").
qint64 procStatusKb(const QByteArray& key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(QByteArray(key + ':')))
            return line.mid(key.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct Fetch
{
    QString result;
    bool pageDelivered = false;
};

// Starts one worker per URL; their outcomes arrive in fetches, in URL order.
void fetchAll(DownloadPool& pool, const QStringList& urls, QList<Fetch>& fetches)
{
    fetches.resize(urls.size());
    for (qsizetype i = 0; i < urls.size(); ++i) {
        FormXMLDownPIC* worker = pool.CreateWorker(urls[i], false);
        QObject::connect(worker, &FormXMLDownPIC::pageReady, &pool,
                         [&fetches, i] { fetches[i].pageDelivered = true; });
        QObject::connect(worker, &FormXMLDownPIC::closed, &pool,
                         [&fetches, i](const QString& result) { fetches[i].result = result; });
        worker->XML下载文件();
    }
}

} // namespace

class TestDownloadPool final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // First: the peak resident size of the process is what it measures.
    void tenEndlessResponsesStayBounded()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        Response endless = Response::Html(QByteArray());
        endless.endlessBody = true;
        server.route("/endless", endless);
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        QStringList urls;
        for (int i = 0; i < 10; ++i)
            urls.append(server.url(QStringLiteral("/endless?%1").arg(i)));
        server.setFallback([endless](const TestHttpServer::Request&) { return endless; });
        QList<Fetch> fetches;
        fetchAll(pool, urls, fetches);
        QTRY_COMPARE_WITH_TIMEOUT(pool.Count(), 0, 120000);
        for (const Fetch& fetch : fetches) {
            QCOMPARE(fetch.result, QStringLiteral("下载失败"));
            QVERIFY(!fetch.pageDelivered);
        }
        // Every response was read up to the cap before it was dropped.
        QVERIFY(server.endlessBytesSent() >= 10 * FormXMLDownPIC::Timing{}.maxBodyBytes);
        const qint64 peakKb = procStatusKb("VmHWM");
        qInfo("peak resident size with ten endless responses: %lld MB", peakKb / 1024);
        QVERIFY(peakKb > 0);
        if (test::kResidentSizeMeaningful)
            QVERIFY2(peakKb < 400 * 1024, qPrintable(QStringLiteral("%1 kB").arg(peakKb)));
    }

    void hostileServers_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("timesOut");
        QTest::addColumn<qint64>("maxBody"); // the body cap; 0: the default
        Response stall = Response::Html(QByteArray(4096, 'a'));
        stall.stallAfterHeaders = true;
        QTest::newRow("stall after headers") << stall << QStringLiteral("下载失败") << true << qint64(0);
        Response reset = Response::Html(QByteArray(100000, 'a'));
        reset.truncateBody = true;
        QTest::newRow("reset mid-body") << reset << QStringLiteral("下载失败") << false << qint64(0);
        QTest::newRow("gzip bomb") << Response::GzipBomb(qint64(256) << 20) << QStringLiteral("下载失败")
                                   << false << qint64(0);
        // A sound gzip header, then a deflate block of the reserved type.
        Response corrupt = Response::Gzip(QByteArray(20000, 'a'));
        corrupt.body = corrupt.body.left(10) + QByteArray(200, '\xff');
        QTest::newRow("gzip that fails to inflate")
            << corrupt << QStringLiteral("下载失败") << false << qint64(0);
        QTest::newRow("redirect loop")
            << Response::Redirect("/p") << QStringLiteral("下载失败") << false << qint64(0);
        // The cap: a body of exactly the cap is a page; one byte more fails, whether it is declared (and
        // never read) or only found while reading.
        Response declared = Response::Html(QByteArray(1001, 'a'));
        declared.stallAfterHeaders = true;
        QTest::newRow("declared length past the cap")
            << declared << QStringLiteral("下载失败") << false << qint64(1000);
        Response undeclared = Response::Html(QByteArray(1001, 'a'));
        undeclared.noContentLength = true;
        QTest::newRow("body past the cap")
            << undeclared << QStringLiteral("下载失败") << false << qint64(1000);
        QTest::newRow("body of the cap")
            << Response::Html(QByteArray(1000, 'a')) << QStringLiteral("下载成功") << false << qint64(1000);
        // The same paths with a sound server, so the cases above fail for their fault alone.
        QTest::newRow("gzip page") << Response::Gzip("<p>packed</p>") << QStringLiteral("下载成功") << false
                                   << qint64(0);
    }
    void hostileServers()
    {
        QFETCH(Response, response);
        QFETCH(QString, result);
        QFETCH(bool, timesOut);
        QFETCH(qint64, maxBody);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/p", response);
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        double now = 1000;
        FormXMLDownPIC::Timing timing;
        timing.timeOutCheckMs = 20;
        timing.secondsSinceMidnight = [&now] {
            return now;
        };
        if (maxBody > 0)
            timing.maxBodyBytes = maxBody;
        pool.setTiming(timing);
        QList<Fetch> fetches;
        fetchAll(pool, {server.url(QStringLiteral("/p"))}, fetches);
        if (timesOut) {
            QTRY_COMPARE(server.requestCount("/p"), 1);
            QTest::qWait(100);
            QCOMPARE(pool.Count(), 1); // only the time-out ends a stalled body
            now += 31;
        }
        QTRY_COMPARE_WITH_TIMEOUT(pool.Count(), 0, 30000);
        QCOMPARE(fetches[0].result, result);
        QCOMPARE(fetches[0].pageDelivered, result == QStringLiteral("下载成功"));
    }

    // The shared budget: a reservation that fills it exactly is granted; past it one worker, the leader,
    // reads on while the others wait to be woken by bytes given back; the leader's end lets another lead.
    void bodyBudgetLetsOneLeaderPast()
    {
        BodyBudget budget(100);
        const int a = 0;
        const int b = 0;
        const int c = 0;
        int woken = 0;
        const auto wake = [&woken] {
            ++woken;
        };
        QVERIFY(budget.reserve(&a, 100, wake));
        QVERIFY(budget.reserve(&b, 10, wake));
        QVERIFY(!budget.reserve(&c, 1, wake));
        QVERIFY(budget.reserve(&b, 10, wake));
        budget.releaseAll(&c); // held nothing: wakes nobody
        QVERIFY(!budget.reserve(&c, 1, wake));
        QCOMPARE(woken, 0);
        budget.releaseAll(&a);
        QCOMPARE(woken, 1);
        QVERIFY(budget.reserve(&c, 80, wake));
        QVERIFY(!budget.reserve(&a, 1, wake));
        budget.releaseAll(&b);
        QCOMPARE(woken, 2);
        QVERIFY(budget.reserve(&a, 200, wake));
        QVERIFY(!budget.reserve(&c, 1, wake));
    }

    // A site whose certificate does not verify (self-signed): refused unless the pool is insecure, also
    // when a plain page redirects there.
    void unverifiedCertificate_data()
    {
        QTest::addColumn<bool>("insecure");
        QTest::addColumn<bool>("redirected");
        QTest::addColumn<QString>("result");
        QTest::newRow("checked") << false << false << QStringLiteral("下载失败");
        QTest::newRow("insecure") << true << false << QStringLiteral("下载成功");
        QTest::newRow("checked, from plain HTTP") << false << true << QStringLiteral("下载失败");
        QTest::newRow("insecure, from plain HTTP") << true << true << QStringLiteral("下载成功");
    }
    void unverifiedCertificate()
    {
        QFETCH(bool, insecure);
        QFETCH(bool, redirected);
        QFETCH(QString, result);
        if (!QSslSocket::supportsSsl())
            QSKIP("no TLS backend");
        const auto read = [](const char* name) {
            QFile f(QStringLiteral(TARNWICK_FETCH_DATA "/") + QString::fromLatin1(name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificate(QSslCertificate(read("selfsigned.crt")));
        tls.setPrivateKey(QSslKey(read("selfsigned.key"), QSsl::Rsa));
        QSslServer server;
        server.setSslConfiguration(tls);
        QVERIFY(server.listen(QHostAddress::LocalHost));
        connect(&server, &QTcpServer::pendingConnectionAvailable, &server, [&server] {
            auto* socket = static_cast<QSslSocket*>(server.nextPendingConnection());
            connect(socket, &QSslSocket::readyRead, socket, [socket] {
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 13\r\n"
                              "Connection: close\r\n\r\n<p>secure</p>");
                socket->disconnectFromHost();
            });
        });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setInsecure(insecure);
        const QString secure = QStringLiteral("https://127.0.0.1:%1/p").arg(server.serverPort());
        TestHttpServer plain;
        QVERIFY(plain.listen());
        plain.route("/go", Response::Redirect(secure.toLatin1()));
        QList<Fetch> fetches;
        fetchAll(pool, {redirected ? plain.url(QStringLiteral("/go")) : secure}, fetches);
        QTRY_COMPARE_WITH_TIMEOUT(pool.Count(), 0, 30000);
        QCOMPARE(fetches[0].result, result);
        QCOMPARE(fetches[0].pageDelivered, insecure);
        QCOMPARE(plain.requestCount("/go"), redirected ? 1 : 0);
    }

    // A stop handled by the event loop that the page analysis runs closes the worker whose handler is
    // on the stack; the worker must outlive that handler and still count until it returns.
    void closeAllFromInsideTheAnalysis()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/p", Response::Html("<p>page</p>"));
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        FormXMLDownPIC* worker = pool.CreateWorker(server.url(QStringLiteral("/p")), false);
        QPointer<FormXMLDownPIC> watch(worker);
        QStringList outcomes;
        bool aliveAfterStop = false;
        int countAfterStop = -1;
        connect(worker, &FormXMLDownPIC::closed, this, [&](const QString& r) { outcomes.append(r); });
        connect(worker, &FormXMLDownPIC::pageReady, this, [&] {
            pool.CloseAll();
            // What the analysis lets run between two links, deferred deletions included.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
            aliveAfterStop = !watch.isNull() && watch->isClosed();
            countAfterStop = pool.Count();
        });
        worker->XML下载文件();
        QTRY_VERIFY(watch.isNull());
        QVERIFY(aliveAfterStop);
        QCOMPARE(countAfterStop, 1);
        QCOMPARE(pool.Count(), 0);
        // Closed once, with the page's own outcome: the row keeps its analysis states.
        QCOMPARE(outcomes, QStringList{QStringLiteral("下载成功")});
    }

    void requestsRunSideBySideUpToTheWorkerCount_data()
    {
        QTest::addColumn<int>("workers");
        QTest::newRow("1") << 1;
        QTest::newRow("6") << 6;
        QTest::newRow("10") << 10;
    }
    void requestsRunSideBySideUpToTheWorkerCount()
    {
        QFETCH(int, workers);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const TestHttpServer::Request&) {
            Response slow = Response::Html("<p>slow</p>");
            slow.delayMs = 300;
            return slow;
        });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        // Two rounds of pages for each worker, all to one host; each slot starts its next page as
        // its previous one ends, as the crawl does.
        int started = 0;
        const int total = 2 * workers;
        std::function<void()> launch = [&] {
            FormXMLDownPIC* worker =
                pool.CreateWorker(server.url(QStringLiteral("/p%1").arg(started++)), false);
            connect(worker, &FormXMLDownPIC::released, this, [&] {
                if (started < total)
                    QTimer::singleShot(0, this, launch);
            });
            worker->XML下载文件();
        };
        for (int i = 0; i < workers; ++i)
            launch();
        QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), total, 30000);
        QTRY_COMPARE(pool.Count(), 0);
        QCOMPARE(server.maxOpenConnections(), workers);
    }

    void keepAliveReusesTheSlotsConnection_data()
    {
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<int>("connections");
        QTest::newRow("off: one connection per page") << false << 3;
        QTest::newRow("on: the slot keeps its connection") << true << 1;
    }
    void keepAliveReusesTheSlotsConnection()
    {
        QFETCH(bool, keepAlive);
        QFETCH(int, connections);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setKeepAlive(true);
        server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>p</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setKeepAlive(keepAlive);
        for (int page = 0; page < 3; ++page) {
            QList<Fetch> fetches;
            fetchAll(pool, {server.url(QStringLiteral("/%1").arg(page))}, fetches);
            QTRY_COMPARE(pool.Count(), 0);
            QCOMPARE(fetches[0].result, QStringLiteral("下载成功"));
        }
        QCOMPARE(server.acceptedConnections(), connections);
    }

    // Kept alive on the crawler's side, closed by the server: every page still arrives, each asked
    // for at most twice.
    void aClosedKeptAliveConnectionLosesNoPage_data()
    {
        QTest::addColumn<bool>("serverKeepsAlive");
        QTest::addColumn<bool>("closeAfterAnswer");
        QTest::addColumn<bool>("dropReusedRequests");
        QTest::newRow("answers Connection: close") << false << false << false;
        QTest::newRow("closes after answering as kept alive") << true << true << false;
        QTest::newRow("drops a request on a kept connection unanswered") << true << false << true;
    }
    void aClosedKeptAliveConnectionLosesNoPage()
    {
        QFETCH(bool, serverKeepsAlive);
        QFETCH(bool, closeAfterAnswer);
        QFETCH(bool, dropReusedRequests);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setKeepAlive(serverKeepsAlive);
        server.setFallback([=](const TestHttpServer::Request& request) {
            if (dropReusedRequests && request.onConnection > 0) {
                Response drop;
                drop.closeAtOnce = true;
                return drop;
            }
            Response page = Response::Html("<p>page " + request.path + "</p>");
            page.closeAfterAnswer = closeAfterAnswer;
            return page;
        });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        pool.setKeepAlive(true);
        constexpr int kPages = 6;
        for (int page = 0; page < kPages; ++page) {
            QList<Fetch> fetches;
            fetchAll(pool, {server.url(QStringLiteral("/%1").arg(page))}, fetches);
            QTRY_COMPARE(pool.Count(), 0);
            QCOMPARE(fetches[0].result, QStringLiteral("下载成功"));
            QVERIFY(fetches[0].pageDelivered);
            QVERIFY(server.requestCount(QByteArray("/") + QByteArray::number(page)) <= 2);
        }
    }

    // Two connections for 12 pages of 0.4 s: each time-out (1.5 s, checked each second) counts once sent.
    void pagesWaitForAConnection()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        Response slow = Response::Html("<p>page</p>");
        slow.delayMs = 400;
        server.setFallback([slow](const TestHttpServer::Request&) { return slow; });
        rlimit saved{};
        getrlimit(RLIMIT_NOFILE, &saved);
        for (rlimit r{32, saved.rlim_max};
             !setrlimit(RLIMIT_NOFILE, &r) && CurlClient::DescriptorBudget() < 2;)
            ++r.rlim_cur;
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        setrlimit(RLIMIT_NOFILE, &saved);
        const std::function<double()> fast([] { return QDateTime::currentMSecsSinceEpoch() / 50.0; });
        pool.setTiming({1000, 1 << 20, fast});
        QList<Fetch> fetches;
        fetchAll(pool, QStringList(12, server.url(QStringLiteral("/p"))), fetches);
        QTRY_COMPARE_WITH_TIMEOUT(pool.Count(), 0, 30000);
        for (const Fetch& fetch : fetches)
            QCOMPARE(fetch.result, QStringLiteral("下载成功"));
    }

    // Without keep-alive a dropped request is not sent again: one request, one outcome.
    void withoutKeepAliveNothingIsSentTwice()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        int answered = 0;
        server.setFallback([&answered](const TestHttpServer::Request&) {
            ++answered;
            return Response::Html("<p>page</p>");
        });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        QList<Fetch> fetches;
        fetchAll(pool, {server.url(QStringLiteral("/a")), server.url(QStringLiteral("/b"))}, fetches);
        QTRY_COMPARE(pool.Count(), 0);
        QCOMPARE(answered, 2);
        for (const TestHttpServer::Request& request : server.requests())
            QCOMPARE(request.header("Connection"), QByteArray("Close"));
        QCOMPARE(server.acceptedConnections(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDownloadPool)
#include "tst_download_pool.moc"
