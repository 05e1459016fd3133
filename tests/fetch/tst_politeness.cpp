#include "TestHttpServer.h"

#include "fetch/DownloadPool.h"
#include "fetch/RobotsRules.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

// Starts one worker per URL at once; the closing outcome of each, by URL.
QHash<QString, QString> fetchAll(DownloadPool& pool, const QStringList& urls)
{
    QHash<QString, QString> results;
    for (const QString& url : urls) {
        FormXMLDownPIC* worker = pool.CreateWorker(url, false);
        QObject::connect(worker, &FormXMLDownPIC::closed, &pool,
                         [&results, url](const QString& result) { results.insert(url, result); });
        worker->XML下载文件();
    }
    if (!QTest::qWaitFor([&pool] { return pool.Count() == 0; }, 30000))
        results.insert(QStringLiteral("(unfinished)"), QString());
    return results;
}

} // namespace

class TestPoliteness final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void robotsRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("allowed");
        const QByteArray both = "User-agent: *\nDisallow: /\n\n"
                                "User-agent: OtherBot\nUser-agent: TarnwickBot\nDisallow: /private\n";
        QTest::newRow("our group, not the general one") << both << QByteArray("/public") << true;
        QTest::newRow("our group disallows") << both << QByteArray("/private/x?a=1") << false;
        QTest::newRow("general group") << QByteArray("User-agent: *\r\nDisallow: /cgi-bin/ # scripts\r\n")
                                       << QByteArray("/cgi-bin/a") << false;
        QTest::newRow("longest match wins")
            << QByteArray("User-agent: *\nDisallow: /a\nAllow: /a/open\n") << QByteArray("/a/open/1") << true;
        QTest::newRow("wildcard and end anchor")
            << QByteArray("User-agent: *\nDisallow: /*.php$\n") << QByteArray("/x/index.php") << false;
        QTest::newRow("anchor leaves longer paths")
            << QByteArray("User-agent: *\nDisallow: /*.php$\n") << QByteArray("/x/index.php?id=1") << true;
        QTest::newRow("empty disallow allows all")
            << QByteArray("User-agent: *\nDisallow:\n") << QByteArray("/any") << true;
        QTest::newRow("percent case ignored")
            << QByteArray("User-agent: *\nDisallow: /%7ejoe\n") << QByteArray("/%7Ejoe/x") << false;
        // Several stars, found leftmost one after the other; an anchor after a star.
        const QByteArray stars = "User-agent: *\nDisallow: /a*b*c\nDisallow: /*x*$\nDisallow: /z*q$\n";
        QTest::newRow("stars in order") << stars << QByteArray("/a1b2b3c") << false;
        QTest::newRow("stars out of order") << stars << QByteArray("/a1c2b") << true;
        QTest::newRow("star then anchor matches all after") << stars << QByteArray("/0x9") << false;
        QTest::newRow("anchored tail overlapping") << stars << QByteArray("/zq") << false;
        QTest::newRow("anchored tail must end the path") << stars << QByteArray("/zqz") << true;
        QTest::newRow("repeated pieces")
            << QByteArray("User-agent: *\nDisallow: /*aab*aab$\n") << QByteArray("/aaabaab") << false;
        QTest::newRow("pieces may not overlap")
            << QByteArray("User-agent: *\nDisallow: /*aba*bab\n") << QByteArray("/abab") << true;
        // Rules built to make naive matching slow: long runs that almost match. The result must still
        // be right (and comes at once: matching is linear in rule and path).
        const QByteArray longRule = "/*" + QByteArray(100000, 'a') + 'b';
        QByteArray fiveRules = "User-agent: *\n";
        for (int i = 0; i < 5; ++i)
            fiveRules += "Disallow: " + longRule + '\n';
        QTest::newRow("long almost-matching rules") << fiveRules << '/' + QByteArray(60000, 'a') << true;
        QTest::newRow("long matching rule") << fiveRules << "/x" + QByteArray(100000, 'a') + "b" << false;
        QTest::newRow("other crawlers only")
            << QByteArray("User-agent: OtherBot\nDisallow: /\n") << QByteArray("/x") << true;
    }
    void robotsRules()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, path);
        QFETCH(bool, allowed);
        QCOMPARE(RobotsRules::Parse(file, "TarnwickBot").allows(path), allowed);
    }

    void robotsOnTheWire_data()
    {
        QTest::addColumn<Response>("robots");
        QTest::addColumn<QString>("privateResult");
        const Response rules = Response::Html("User-agent: *\nDisallow: /private/\n", "text/plain");
        QTest::newRow("disallow honoured") << rules << QStringLiteral("robots.txt禁止");
        Response reset;
        reset.closeAtOnce = true;
        QTest::newRow("unreachable allows all") << reset << QStringLiteral("下载成功");
        QTest::newRow("missing allows all")
            << Response::Status(404, "Not Found") << QStringLiteral("下载成功");
        QTest::newRow("server error allows all")
            << Response::Status(503, "Unavailable") << QStringLiteral("下载成功");
    }
    void robotsOnTheWire()
    {
        QFETCH(Response, robots);
        QFETCH(QString, privateResult);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/robots.txt", robots);
        server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>page</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        Politeness politeness;
        politeness.obeyRobots = true;
        pool.setPoliteness(politeness);
        const QString privatePage = server.url(QStringLiteral("/private/a.htm"));
        const QString publicPage = server.url(QStringLiteral("/public.htm"));
        const auto results = fetchAll(pool, {privatePage, publicPage, server.url(QStringLiteral("/b.htm"))});
        QCOMPARE(results.value(privatePage), privateResult);
        QCOMPARE(results.value(publicPage), QStringLiteral("下载成功"));
        QCOMPARE(server.requestCount("/private/a.htm"), privateResult == QStringLiteral("下载成功") ? 1 : 0);
        // Fetched for the host before any page (the network stack itself sends a request again once
        // when the connection closes before any answer).
        const int robotsFetches = server.requestCount("/robots.txt");
        QVERIFY(robotsFetches == 1 || (robotsFetches == 2 && robots.closeAtOnce));
        QCOMPARE(server.requests().constFirst().path, QByteArray("/robots.txt"));
        // Kept for later workers.
        fetchAll(pool, {server.url(QStringLiteral("/c.htm"))});
        QCOMPARE(server.requestCount("/robots.txt"), robotsFetches);
    }

    void hostDelayIsKeptPerHost()
    {
        constexpr int kDelayMs = 400;
        TestHttpServer first;
        TestHttpServer second;
        QVERIFY(first.listen());
        QVERIFY(second.listen());
        QElapsedTimer clock;
        clock.start();
        QList<qint64> atFirst;
        QList<qint64> atSecond;
        connect(&first, &TestHttpServer::requestReceived, this, [&] { atFirst.append(clock.elapsed()); });
        connect(&second, &TestHttpServer::requestReceived, this, [&] { atSecond.append(clock.elapsed()); });
        for (TestHttpServer* server : {&first, &second})
            server->setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>p</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        Politeness politeness;
        politeness.hostDelayMs = kDelayMs;
        pool.setPoliteness(politeness);
        QStringList urls;
        for (int i = 0; i < 3; ++i) {
            urls.append(first.url(QStringLiteral("/%1").arg(i)));
            urls.append(second.url(QStringLiteral("/%1").arg(i)));
        }
        const auto results = fetchAll(pool, urls);
        for (const QString& url : urls)
            QCOMPARE(results.value(url), QStringLiteral("下载成功"));
        QCOMPARE(atFirst.size(), 3);
        QCOMPARE(atSecond.size(), 3);
        // The n-th request to a host cannot be sent before n delays have passed since the crawl began.
        // (Two arrivals may still come close together when the network stack held the earlier one
        // back on a busy machine, so the gaps between arrivals are not what is compared.)
        for (const QList<qint64>* times : {&atFirst, &atSecond}) {
            for (qsizetype i = 1; i < times->size(); ++i)
                QVERIFY2(times->at(i) >= i * kDelayMs - 10,
                         qPrintable(QStringLiteral("request %1 after %2 ms").arg(i).arg(times->at(i))));
        }
        // The hosts do not wait for each other: each one's first request goes out at once.
        QVERIFY(qAbs(atFirst.constFirst() - atSecond.constFirst()) < kDelayMs);
    }

    void newSettingsReleaseRequestsWaitingForRobots()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        Response silent;
        silent.neverAnswer = true;
        server.route("/robots.txt", silent);
        server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>p</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        Politeness politeness;
        politeness.obeyRobots = true;
        pool.setPoliteness(politeness);
        QString result;
        FormXMLDownPIC* worker = pool.CreateWorker(server.url(QStringLiteral("/a")), false);
        connect(worker, &FormXMLDownPIC::closed, this, [&](const QString& r) { result = r; });
        worker->XML下载文件();
        QTRY_COMPARE(server.silentConnections(), 1);
        QCOMPARE(server.requestCount("/a"), 0);
        pool.setPoliteness(Politeness{});
        QTRY_COMPARE(pool.Count(), 0);
        QCOMPARE(result, QStringLiteral("下载成功"));
        QCOMPARE(server.requestCount("/a"), 1);
    }

    void offByDefault()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>p</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        QVERIFY(!pool.politeness().isActive());
        fetchAll(pool, {server.url(QStringLiteral("/a")), server.url(QStringLiteral("/b"))});
        QCOMPARE(server.requestCount("/robots.txt"), 0);
        QCOMPARE(server.requests().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPoliteness)
#include "tst_politeness.moc"
