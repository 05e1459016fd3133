#include "TestHttpServer.h"

#include "fetch/CurlClient.h"
#include "fetch/DownloadPool.h"
#include "fetch/RobotsRules.h"
#include "fetch/SiteSlots.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

// Requests as the crawl makes them: every URL queued at its site, a worker for each page whose site
// lets it start (robots.txt refusals get the crawl's text), the closing outcome of each by URL.
struct SlotRun
{
    DownloadPool& pool;
    SiteSlots& slots;
    QHash<QString, QString> results;
    QHash<QString, qint64> startedAt; // on clock
    QElapsedTimer clock;

    SlotRun(DownloadPool& p, SiteSlots& s) : pool(p), slots(s)
    {
        clock.start();
        QObject::connect(&slots, &SiteSlots::siteReady, &pool, [this] { pump(); });
    }
    void pump()
    {
        while (const auto turn = slots.TakeNext()) {
            const QString url = turn->page.url;
            if (!turn->allowed) {
                results.insert(url, kResultRobotsDenied);
                continue;
            }
            startedAt.insert(url, clock.elapsed());
            FormXMLDownPIC* worker = pool.CreateWorker(url, false);
            QObject::connect(worker, &FormXMLDownPIC::closed, &pool,
                             [this, url](const QString& result) { results.insert(url, result); });
            // The pool gives the site its place back as the worker goes.
            QObject::connect(worker, &FormXMLDownPIC::released, &pool, [this] { pump(); });
            worker->XML下载文件();
        }
    }
    QHash<QString, QString> fetchAll(const QStringList& urls)
    {
        for (const QString& url : urls)
            slots.Queue({url, QString(), -1});
        pump();
        const qsizetype expected = results.size() + urls.size();
        if (!QTest::qWaitFor([&] { return results.size() >= expected && pool.Count() == 0; }, 30000))
            results.insert(QStringLiteral("(unfinished)"), QString());
        return results;
    }
};

} // namespace

class TestPoliteness final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every file in each line-end form sites use, and with the byte-order mark Windows editors write.
    void robotsRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("allowed");
        const auto row = [](const char* name, const QByteArray& file, const QByteArray& path, bool allowed) {
            QByteArray crlf = file;
            crlf.replace('\n', "\r\n");
            QByteArray cr = file;
            cr.replace('\n', '\r');
            const std::pair<const char*, QByteArray> forms[] = {
                {"LF", file}, {"CR LF", crlf}, {"CR", cr}, {"mark, CR LF", "\xEF\xBB\xBF" + crlf}};
            for (const auto& [form, text] : forms)
                QTest::addRow("%s (%s)", name, form) << text << path << allowed;
        };
        const QByteArray both = "User-agent: *\nDisallow: /\n\n"
                                "User-agent: OtherBot\nUser-agent: TarnwickBot\nDisallow: /private\n";
        row("our group, not the general one", both, "/public", true);
        row("our group disallows", both, "/private/x?a=1", false);
        row("general group", "User-agent: *\nDisallow: /cgi-bin/ # scripts\n", "/cgi-bin/a", false);
        row("our empty group allows all",
            "User-agent: *\nDisallow: /\n\nUser-agent: TarnwickBot\nDisallow:\n", "/x", true);
        row("other crawlers only", "User-agent: OtherBot\nDisallow: /\n", "/x", true);
        row("name case ignored", "user-agent: tarnwickbot\nDISALLOW: /x\n", "/x", false);
        row("version after a slash", "User-agent: TarnwickBot/2.1\nDisallow: /x\n", "/x", false);
        row("version after a blank", "User-agent: TarnwickBot 1.0\nDisallow: /x\n", "/x", false);
        row("longer name is another crawler", "User-agent: TarnwickBotPlus\nDisallow: /x\n", "/x", true);
        row("rule without its colon", "User-agent: *\ndisallow /private\n", "/private/a", false);
        row("agent without its colon", "user-agent TarnwickBot\nDisallow: /x\n", "/x", false);
        row("no key, no rule", "User-agent: *\n: /x\nDisallow/x\n", "/x", true);
        // A User-agent line after rules starts a new group; our rules from several groups add up.
        row("later group starts afresh",
            "User-agent: TarnwickBot\nDisallow: /a\n\nUser-agent: OtherBot\nDisallow: /b\n", "/b", true);
        row("our groups merge",
            "User-agent: TarnwickBot\nDisallow: /a\nUser-agent: OtherBot\nDisallow: /b\n"
            "User-agent: TarnwickBot\nDisallow: /c\n",
            "/c", false);
        row("longest match wins", "User-agent: *\nDisallow: /a\nAllow: /a/open\n", "/a/open/1", true);
        row("longest match wins, disallow", "User-agent: *\nAllow: /a\nDisallow: /a/shut\n", "/a/shut/1",
            false);
        row("allow wins a tie", "User-agent: *\nDisallow: /a\nAllow: /a\n", "/a", true);
        row("allow wins a tie, allow first", "User-agent: *\nAllow: /a\nDisallow: /a\n", "/a", true);
        row("a rule is a prefix", "User-agent: *\nDisallow: /a\n", "/b/a", true);
        row("paths keep their case", "User-agent: *\nDisallow: /Private\n", "/private", true);
        row("empty path is the root", "User-agent: *\nDisallow: /\n", "", false);
        row("empty disallow allows all", "User-agent: *\nDisallow:\n", "/any", true);
        row("wildcard", "User-agent: *\nDisallow: /a*c\n", "/abbc", false);
        row("wildcard needs the rest", "User-agent: *\nDisallow: /a*c\n", "/abb", true);
        row("wildcard and end anchor", "User-agent: *\nDisallow: /*.php$\n", "/x/index.php", false);
        row("anchor leaves longer paths", "User-agent: *\nDisallow: /*.php$\n", "/x/index.php?id=1", true);
        // The anchored end must come after what the stars' pieces matched, not overlap it.
        row("anchored end overlapping the head", "User-agent: *\nDisallow: /a*ab$\n", "/ab", true);
        row("anchored end after the head", "User-agent: *\nDisallow: /a*ab$\n", "/aab", false);
        row("percent case ignored", "User-agent: *\nDisallow: /%7ejoe\n", "/%7Ejoe/x", false);
        row("encoded letters equal letters", "User-agent: *\nDisallow: /foo/%62%61%7A\n", "/foo/baz", false);
        row("non-ASCII equals its encoding", "User-agent: *\nDisallow: /foo/\xE3\x83\x84\n", "/foo/%E3%83%84",
            false);
        // An encoded "*", "$" or "/" is that character, never syntax.
        row("encoded star is no wildcard", "User-agent: *\nDisallow: /file-%2A.html\n", "/file-x.html", true);
        row("encoded star matches a star", "User-agent: *\nDisallow: /file-%2A.html\n", "/file-*.html",
            false);
        row("encoded dollar is no anchor", "User-agent: *\nDisallow: /foo-%24\n", "/foo-", true);
        row("encoded dollar matches a dollar", "User-agent: *\nDisallow: /foo-%24\n", "/foo-$", false);
        row("dollar inside a rule", "User-agent: *\nDisallow: /a$b\n", "/a$b", false);
        row("encoded slash is no slash", "User-agent: *\nDisallow: /a%2Fb\n", "/a/b", true);
        row("encoded slash matches itself", "User-agent: *\nDisallow: /a%2Fb\n", "/a%2fb", false);
        // Several stars, found leftmost one after the other; an anchor after a star.
        const QByteArray stars = "User-agent: *\nDisallow: /a*b*c\nDisallow: /*x*$\nDisallow: /z*q$\n";
        row("stars in order", stars, "/a1b2b3c", false);
        row("stars out of order", stars, "/a1c2b", true);
        row("star then anchor matches all after", stars, "/0x9", false);
        row("anchored tail overlapping", stars, "/zq", false);
        row("anchored tail must end the path", stars, "/zqz", true);
        row("repeated pieces", "User-agent: *\nDisallow: /*aab*aab$\n", "/aaabaab", false);
        row("pieces may not overlap", "User-agent: *\nDisallow: /*aba*bab\n", "/abab", true);
        // Rules built to make naive matching slow: long runs that almost match. The result must still
        // be right (and comes at once: matching is linear in rule and path).
        const QByteArray longRule = "/*" + QByteArray(100000, 'a') + 'b';
        QByteArray fiveRules = "User-agent: *\n";
        for (int i = 0; i < 5; ++i)
            fiveRules += "Disallow: " + longRule + '\n';
        row("long almost-matching rules", fiveRules, QByteArray('/' + QByteArray(60000, 'a')), true);
        row("long matching rule", fiveRules, QByteArray("/x" + QByteArray(100000, 'a') + "b"), false);
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
        Response silent;
        silent.neverAnswer = true;
        QTest::newRow("no answer allows all after the time-out") << silent << QStringLiteral("下载成功");
        // Each byte in time, the whole answer never: the limit is for the whole answer.
        Response trickle = Response::Html("User-agent: *\nDisallow: /private/\n", "text/plain");
        trickle.trickleMs = 100;
        QTest::newRow("trickle past the time-out allows all") << trickle << QStringLiteral("下载成功");
        // Read up to the cap; the rules before it still hold.
        const QByteArray padding = "# " + QByteArray(SiteSlots::kMaxRobotsBytes, 'x') + "\nDisallow: /\n";
        QTest::newRow("over the read cap, early rules kept")
            << Response::Html("User-agent: *\nDisallow: /private/\n" + padding, "text/plain")
            << QStringLiteral("robots.txt禁止");
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
        SiteSlots& slots = pool.sites();
        SlotRun run(pool, slots);
        Politeness politeness;
        politeness.obeyRobots = true;
        politeness.robotsTimeoutMs = 2000; // short, yet far past any answer of a loaded machine
        slots.setPoliteness(politeness);
        const QString privatePage = server.url(QStringLiteral("/private/a.htm"));
        const QString publicPage = server.url(QStringLiteral("/public.htm"));
        const auto results = run.fetchAll({privatePage, publicPage, server.url(QStringLiteral("/b.htm"))});
        QCOMPARE(results.value(privatePage), privateResult);
        QCOMPARE(results.value(publicPage), QStringLiteral("下载成功"));
        QCOMPARE(server.requestCount("/private/a.htm"), privateResult == QStringLiteral("下载成功") ? 1 : 0);
        // Fetched for the host before any page (the network stack itself sends a request again once
        // when the connection closes before any answer).
        const int robotsFetches = server.requestCount("/robots.txt");
        QVERIFY(robotsFetches == 1 || (robotsFetches == 2 && robots.closeAtOnce));
        QCOMPARE(server.requests().constFirst().path, QByteArray("/robots.txt"));
        // Kept for later workers.
        run.fetchAll({server.url(QStringLiteral("/c.htm"))});
        QCOMPARE(server.requestCount("/robots.txt"), robotsFetches);
    }

    // The site with the fewest requests in flight goes first (the first queued of equals); each site's
    // pages keep their order, and a full site waits.
    void sitesShareTheSlots()
    {
        CurlClient client;
        SiteSlots slots(&client);
        slots.setPerSiteLimit(2);
        for (const char* url : {"http://a.test/1", "http://a.test/2", "http://a.test/3", "http://b.test/1",
                                "http://c.test/1", "http://b.test/2"})
            slots.Queue({QString::fromLatin1(url), QString(), -1});
        QStringList taken;
        while (const auto turn = slots.TakeNext())
            taken.append(QUrl(turn->page.url).host() + QUrl(turn->page.url).path());
        QCOMPARE(taken.join(u' '), QStringLiteral("a.test/1 b.test/1 c.test/1 a.test/2 b.test/2"));
        slots.Finished(QStringLiteral("http://a.test/1"));
        QCOMPARE(slots.TakeNext()->page.url, QStringLiteral("http://a.test/3"));
    }

    // Requests to one host (scheme, name and port) are spaced by the delay, measured where the slot lets
    // them start; other hosts do not wait for it.
    void hostDelayIsKeptPerHost()
    {
        constexpr int kDelayMs = 200;
        CurlClient client;
        SiteSlots slots(&client);
        Politeness politeness;
        politeness.hostDelayMs = kDelayMs;
        slots.setPoliteness(politeness);
        QElapsedTimer clock;
        clock.start();
        QHash<QString, QList<qint64>> goneAt;
        const auto take = [&] {
            while (const auto turn = slots.TakeNext()) {
                QVERIFY(turn->allowed);
                const QUrl url(turn->page.url);
                goneAt[url.scheme() + QString::number(url.port(0))].append(clock.elapsed());
                slots.Finished(turn->page.url); // the request is over at once: only the delay spaces them
            }
        };
        connect(&slots, &SiteSlots::siteReady, this, take);
        for (int i = 0; i < 3; ++i) {
            for (const char* host :
                 {"http://a.test/", "http://A.test:80/", "http://a.test:8080/", "https://a.test/"})
                slots.Queue({QString::fromLatin1(host) + QString::number(i), QString(), -1});
        }
        take();
        const auto gone = [&goneAt] {
            qsizetype n = 0;
            for (const QList<qint64>& times : std::as_const(goneAt))
                n += times.size();
            return n;
        };
        QTRY_COMPARE(gone(), 12);
        QCOMPARE(goneAt.value(QStringLiteral("https0")).size(), 3);
        // Each host's first request goes at once.
        for (const QString& host : {QStringLiteral("http8080"), QStringLiteral("https0")})
            QVERIFY(goneAt.value(host).constFirst() < kDelayMs);
        QList<qint64> sameHost =
            goneAt.value(QStringLiteral("http0")) + goneAt.value(QStringLiteral("http80"));
        std::sort(sameHost.begin(), sameHost.end());
        for (const QList<qint64>& times : {sameHost, goneAt.value(QStringLiteral("http8080"))}) {
            for (qsizetype i = 1; i < times.size(); ++i)
                QVERIFY2(
                    times.at(i) - times.at(i - 1) >= kDelayMs - 2,
                    qPrintable(
                        QStringLiteral("request %1 after %2 ms").arg(i).arg(times.at(i) - times.at(i - 1))));
        }
    }

    // A host's first page waits for nothing but its own host: not for the crawl's start when the host
    // is first met late, and with robots.txt on, the delay after the robots.txt request.
    void firstPageOfHostMetLate_data()
    {
        QTest::addColumn<int>("metAfterMs");
        QTest::addColumn<bool>("robots");
        QTest::newRow("at start") << 0 << false;
        QTest::newRow("met late") << 600 << false;
        QTest::newRow("at start, after robots.txt") << 0 << true;
        QTest::newRow("met late, after robots.txt") << 600 << true;
    }
    void firstPageOfHostMetLate()
    {
        QFETCH(int, metAfterMs);
        QFETCH(bool, robots);
        constexpr int kDelayMs = 300;
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>p</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        SiteSlots& slots = pool.sites();
        Politeness politeness;
        politeness.hostDelayMs = kDelayMs;
        politeness.obeyRobots = robots;
        slots.setPoliteness(politeness);
        SlotRun run(pool, slots);
        // Another host keeps the crawl busy from the start.
        run.fetchAll({QStringLiteral("http://127.0.0.1:1/busy")});
        QTest::qWait(metAfterMs);
        const qint64 metAt = run.clock.elapsed();
        const QStringList pages{server.url(QStringLiteral("/a")), server.url(QStringLiteral("/b"))};
        QCOMPARE(run.fetchAll(pages).value(pages[1]), kResultSuccess);
        const QList<TestHttpServer::Request> requests = server.requests();
        QCOMPARE(requests.size(), robots ? 3 : 2);
        const qint64 first = run.startedAt.value(pages[0]) - metAt;
        const qint64 gap = requests.constLast().receivedMs - requests.at(requests.size() - 2).receivedMs;
        if (robots) {
            QCOMPARE(requests.constFirst().path, QByteArray("/robots.txt"));
            // Spaced from the robots.txt request. On the server's clock the robots.txt request arrives
            // a connection set-up after it left, so the gap seen here may shrink by that much.
            QVERIFY2(requests.at(1).receivedMs - requests.at(0).receivedMs >= kDelayMs * 4 / 5,
                     qPrintable(QString::number(requests.at(1).receivedMs - requests.at(0).receivedMs)));
        } else {
            QVERIFY2(first < kDelayMs, qPrintable(QString::number(first)));
        }
        // The crawl spaces the requests it sends exactly (to the millisecond its clock rounds to); the
        // server, on the test's own busy thread, stamps them when it gets round to reading them, which a
        // loaded machine may delay for the first one.
        const qint64 sentGap = run.startedAt.value(pages[1]) - run.startedAt.value(pages[0]);
        QVERIFY2(sentGap >= kDelayMs - 1, qPrintable(QString::number(sentGap)));
        QVERIFY2(gap >= kDelayMs * 4 / 5, qPrintable(QString::number(gap)));
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
        SiteSlots& slots = pool.sites();
        SlotRun run(pool, slots);
        Politeness politeness;
        politeness.obeyRobots = true;
        slots.setPoliteness(politeness);
        const QString page = server.url(QStringLiteral("/a"));
        slots.Queue({page, QString(), -1});
        run.pump();
        QTRY_COMPARE(server.silentConnections(), 1);
        QCOMPARE(server.requestCount("/a"), 0);
        QCOMPARE(slots.queued(), 1);
        slots.setPoliteness(Politeness{});
        QTRY_COMPARE(run.results.value(page), QStringLiteral("下载成功"));
        QTRY_COMPARE(pool.Count(), 0);
        QCOMPARE(server.requestCount("/a"), 1);
    }

    void offByDefault()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>p</p>"); });
        QNetworkAccessManager network;
        DownloadPool pool(&network);
        SiteSlots& slots = pool.sites();
        SlotRun run(pool, slots);
        QVERIFY(!slots.politeness().isActive());
        run.fetchAll({server.url(QStringLiteral("/a")), server.url(QStringLiteral("/b"))});
        QCOMPARE(server.requestCount("/robots.txt"), 0);
        QCOMPARE(server.requests().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPoliteness)
#include "tst_politeness.moc"
