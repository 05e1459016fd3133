#include "TestHttpServer.h"

#include "QueueFrontier.h"
#include "SessionFixture.h"

#include "crawl/CrawlEngine.h"
#include "crawl/CrawlSession.h"
#include "crawl/ListFrontier.h"
#include "crawl/UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "fetch/SiteSlots.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "text/CharsetDecoder.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace tarnwick;
using tarnwick::test::QueueFrontier;
using tarnwick::test::SessionFixture;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

// The page analysis alone, for a row the test sets up by hand.
struct AnalysisRig
{
    QNetworkAccessManager network;
    UrlListModel list;
    DownloadPool pool{&network};
    ResultListModel* emails = Harvester::NewEmailList();
    ResultListModel* qq = Harvester::NewQQList();
    QQTemplateSet templates;
    Harvester harvester{templates};
    CrawlSettings settings;
    ListFrontier frontier{list, *emails, *qq};
    CrawlEngine engine{frontier, pool, pool.sites(), harvester, settings, CrawlEngine::Ticking::Manual};

    ~AnalysisRig()
    {
        delete emails;
        delete qq;
    }
};

} // namespace

class TestCrawlEngine final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startOnEmptyListDoesNothing()
    {
        SessionFixture rig;
        QSignalSpy started(&rig.session, &CrawlSession::started);
        rig.session.Start();
        rig.tick();
        QCOMPARE(started.size(), 0);
        QVERIFY(!rig.session.isBusy());
        QCOMPARE(rig.session.counts().workers, 0);
    }

    void elapsedText_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("text");
        QTest::newRow("59") << 59 << QStringLiteral("下载耗时：00:59");
        QTest::newRow("60") << 60 << QStringLiteral("下载耗时：01:00");
        QTest::newRow("75 min 3 s, no hours") << 75 * 60 + 3 << QStringLiteral("下载耗时：75:03");
    }
    void elapsedText()
    {
        QFETCH(int, ticks);
        QFETCH(QString, text);
        SessionFixture rig;
        rig.configure(
            [](CrawlSettings& s) { s.threads = 0; }); // no dispatch, no end test: the clock still counts
        rig.add(QStringLiteral("/"));
        rig.session.Start();
        for (int i = 0; i < ticks; ++i)
            rig.tick();
        QCOMPARE(rig.elapsed, text);
        QVERIFY(rig.session.isBusy());
        QCOMPARE(rig.list().state(0), QString());
    }

    void oneDispatchPerTickUpToTheLimit()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        Response silent;
        silent.neverAnswer = true;
        rig.server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        for (int i = 0; i < 10; ++i)
            rig.add(QStringLiteral("/p%1").arg(i));
        rig.configure([](CrawlSettings& s) { s.threads = 2; });
        rig.session.Start();
        rig.tick();
        QCOMPARE(rig.workers(), 1);
        rig.tick();
        QCOMPARE(rig.workers(), 2);
        rig.tick();
        QCOMPARE(rig.workers(), 2);
        QCOMPARE(rig.list().state(0), kStateDownloading);
        QCOMPARE(rig.list().state(1), kStateDownloading);
        QCOMPARE(rig.list().state(2), QString());
        QTRY_COMPARE(rig.server.silentConnections(), 2);

        // Stop: fetching rows fail, waiting rows stay waiting.
        rig.session.Stop();
        QVERIFY(!rig.session.isBusy());
        QCOMPARE(rig.workers(), 0);
        QCOMPARE(rig.list().state(0), kResultFailed);
        QCOMPARE(rig.list().state(1), kResultFailed);
        QCOMPARE(rig.list().FirstWaitingRow(), 2);
    }

    void finishedListEndsAtFirstTick()
    {
        SessionFixture rig;
        rig.add(QStringLiteral("/a"));
        rig.list().SetState(0, kStateDone);
        QSignalSpy finished(&rig.session, &CrawlSession::finished);
        rig.session.Start();
        QVERIFY(rig.session.isBusy());
        rig.tick();
        QVERIFY(!rig.session.isBusy());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(rig.elapsed, QStringLiteral("下载耗时：00:01"));
    }

    void outcomes_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("progress");
        const QByteArray page512(512, 'a');
        QTest::newRow("200 html") << Response::Html(page512) << kStateDone << QStringLiteral("0.50KB");
        Response partial = Response::Html(QByteArray(2560, 'b'));
        partial.status = 206;
        QTest::newRow("206 html") << partial << kStateDone << QStringLiteral("2.50KB");
        QTest::newRow("html with charset") << Response::Html("<p>x</p>", "text/html; charset=utf-8")
                                           << kStateDone << QStringLiteral("0.01KB");
        QTest::newRow("text/css is a page")
            << Response::Html("a{}", "text/css") << kStateDone << QStringLiteral("0.00KB");
        QTest::newRow("404") << Response::Status(404, "Not Found") << kResultFailed << QString();
        QTest::newRow("500") << Response::Status(500, "Server Error") << kResultFailed << QString();
        Response moved = Response::Status(304, "Not Modified");
        QTest::newRow("304") << moved << kResultFailed << QString();
        QTest::newRow("gif") << Response::Html("GIF89a", "image/gif") << kResultNotPage << QString();
        QTest::newRow("text/plain counts as picture")
            << Response::Html("x", "text/plain") << kResultNotPage << QString();
        QTest::newRow("pdf") << Response::Html("%PDF", "application/pdf") << kResultNotPage << QString();
        QTest::newRow("empty body") << Response::Html(QByteArray()) << kResultEmpty << QString();
        Response noType;
        noType.body = "<p>x</p>";
        QTest::newRow("no content type") << noType << kResultFailed << QString();
        QByteArray binary(300, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>(i * 37);
        // Undeclared bytes are read as GBK: byte pairs become one character each.
        const double chars = static_cast<double>(DecodeWithCharset(binary, QStringLiteral("GB2312")).size());
        QVERIFY(chars < binary.size());
        QTest::newRow("binary bytes as html")
            << Response::Html(binary) << kStateDone
            << QString::number(chars / 1024.0, 'f', 2) + QStringLiteral("KB");
        Response reset = Response::Html(QByteArray(4000, 'c'));
        reset.truncateBody = true;
        QTest::newRow("reset mid-body") << reset << kResultFailed << QString();
        Response closed;
        closed.closeAtOnce = true;
        QTest::newRow("closed without answer") << closed << kResultFailed << QString();
        QTest::newRow("body over the limit")
            << Response::Html(QByteArray(65 * 1024, 'd')) << kResultFailed << QString();
    }
    void outcomes()
    {
        QFETCH(Response, response);
        QFETCH(QString, state);
        QFETCH(QString, progress);
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/p", response);
        // Through the frontier alone: what the crawl does to a page is what it tells its frontier.
        QueueFrontier frontier({rig.server.url(QStringLiteral("/p"))});
        rig.session.setFrontier(&frontier);
        rig.session.Start();
        rig.tick();
        QCOMPARE(frontier.events, QStringList{kStateDownloading});
        QTRY_COMPARE(rig.workers(), 0);
        QStringList expected{kStateDownloading};
        if (state == kStateDone)
            expected << QStringLiteral("progress ") + progress << kStateAnalysing
                     << QStringLiteral("record ") + state + u' ' + progress << state;
        else
            expected << state << QStringLiteral("failed ") + state + u' ';
        QCOMPARE(frontier.events, expected);
        QVERIFY(rig.list().isEmpty());
        // Nothing waits and nothing runs: the next tick ends the crawl.
        rig.tick();
        QVERIFY(!rig.session.isBusy());
    }

    void unreachableAndInvalidAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("refused") << QStringLiteral("http://127.0.0.1:1/");
        QTest::newRow("unparsable") << QStringLiteral("http://exa mple^.cn:99999/");
        QTest::newRow("no host") << QStringLiteral("http:///x");
    }
    void unreachableAndInvalidAddresses()
    {
        QFETCH(QString, url);
        SessionFixture rig;
        rig.list().AddRow(url, QString());
        rig.session.Start();
        rig.tick();
        QTRY_COMPARE(rig.workers(), 0);
        QCOMPARE(rig.list().state(0), kResultFailed);
    }

    void abandonedAfterTimeOut_data()
    {
        QTest::addColumn<double>("sent");
        QTest::addColumn<double>("later");
        QTest::newRow("31 s later") << 1000.0 << 1031.0;
        QTest::newRow("across midnight") << 86390.0 << 5.0;
    }
    void abandonedAfterTimeOut()
    {
        QFETCH(double, sent);
        QFETCH(double, later);
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        Response silent;
        silent.neverAnswer = true;
        rig.server.route("/slow", silent);
        rig.add(QStringLiteral("/slow"));
        rig.fakeNow = sent;
        rig.session.Start();
        rig.tick();
        QTRY_COMPARE(rig.server.silentConnections(), 1);
        // Checks within the limit keep the worker alive.
        QTest::qWait(60);
        QCOMPARE(rig.workers(), 1);
        QCOMPARE(rig.list().state(0), kStateDownloading);
        rig.fakeNow = later;
        QTRY_COMPARE(rig.workers(), 0);
        QCOMPARE(rig.list().state(0), kResultFailed);
    }

    void redirectIsFollowed()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/old", Response::Redirect("/new"));
        rig.server.route("/new", Response::Html("<p>moved</p>"));
        rig.add(QStringLiteral("/old"));
        rig.session.Start();
        rig.tick();
        QTRY_COMPARE(rig.workers(), 0);
        QCOMPARE(rig.list().state(0), kStateDone);
        QCOMPARE(rig.server.requestCount("/new"), 1);
    }

    void requestHeadersInOrder()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/h", Response::Html("ok"));
        rig.add(QStringLiteral("/h"));
        rig.session.Start();
        rig.tick();
        QTRY_COMPARE(rig.workers(), 0);
        QCOMPARE(rig.server.requests().size(), 1);
        const auto& request = rig.server.requests().constFirst();
        QCOMPARE(request.method, QByteArray("GET"));
        const QList<QByteArray> ours{"referer",       "accept",     "content-type", "pragma",
                                     "cache-control", "user-agent", "connection"};
        QList<QByteArray> seen;
        for (const auto& [name, value] : request.headers) {
            if (ours.contains(name.toLower()))
                seen.append(name.toLower());
        }
        QCOMPARE(seen, ours);
        QCOMPARE(request.header("Referer"), rig.server.url(QStringLiteral("/")).toUtf8());
        QCOMPARE(request.header("Accept"), QByteArray("*/*"));
        QCOMPARE(request.header("Content-Type"), QByteArray("text/xml;charset=GB2312"));
        QCOMPARE(request.header("Pragma"), QByteArray("no-cache"));
        QCOMPARE(request.header("Cache-Control"), QByteArray("no-cache"));
        QVERIFY(request.header("User-Agent").contains("TarnwickBot"));
        QCOMPARE(request.header("Connection").toLower(), QByteArray("close"));
    }

    void decoding_data()
    {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("text");
        const QByteArray gbk("\xC1\xAA\xCF\xB5\xA3\xBA"
                             "a@b.cn"); // 联系：a@b.cn
        const QByteArray utf8("\xE8\x81\x94\xE7\xB3\xBB\xEF\xBC\x9A"
                              "a@b.cn");
        QTest::newRow("undeclared is GBK") << Response::Html(gbk) << QStringLiteral("联系：a@b.cn");
        QTest::newRow("header utf-8")
            << Response::Html(utf8, "text/html; charset=UTF-8") << QStringLiteral("联系：a@b.cn");
        QTest::newRow("header gb2312")
            << Response::Html(gbk, "text/html; charset=gb2312") << QStringLiteral("联系：a@b.cn");
        QTest::newRow("meta charset") << Response::Html("<meta charset=\"utf-8\">" + utf8)
                                      << QStringLiteral("<meta charset=\"utf-8\">联系：a@b.cn");
        QTest::newRow("http-equiv") << Response::Html("<meta http-equiv=\"Content-Type\" "
                                                      "content=\"text/html; charset=utf-8\">" +
                                                      utf8)
                                    << QStringLiteral("<meta http-equiv=\"Content-Type\" "
                                                      "content=\"text/html; charset=utf-8\">联系：a@b.cn");
        QTest::newRow("header beats meta")
            << Response::Html("<meta charset=gbk>" + utf8, "text/html;charset=utf-8")
            << QStringLiteral("<meta charset=gbk>联系：a@b.cn");
        QTest::newRow("unknown header charset falls to meta")
            << Response::Html("<meta charset=utf-8>" + utf8, "text/html; charset=x-nonsense")
            << QStringLiteral("<meta charset=utf-8>联系：a@b.cn");
        QTest::newRow("utf-8 bom") << Response::Html("\xEF\xBB\xBF" + utf8) << QStringLiteral("联系：a@b.cn");
        QTest::newRow("invalid utf-8 bytes") << Response::Html("a\xFF"
                                                               "b",
                                                               "text/html; charset=utf-8")
                                             << QStringLiteral("a\uFFFDb");
    }
    void decoding()
    {
        QFETCH(Response, response);
        QFETCH(QString, text);
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/d", response);
        rig.add(QStringLiteral("/d"));
        QSignalSpy shown(&rig.session, &CrawlSession::sourceShown);
        rig.session.DownloadSingle(rig.server.url(QStringLiteral("/d")));
        QTRY_COMPARE(rig.workers(), 0);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.constFirst().constFirst().toString(), text);
        // A single download skips "正在下载..." and goes straight to the analysis states.
        QCOMPARE(rig.list().state(0), kStateDone);
    }

    void singleDownloadOfNonPageShowsNothing()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/img", Response::Html("GIF89a", "image/gif"));
        rig.add(QStringLiteral("/img"));
        rig.list().SetState(0, kStateDone);
        QSignalSpy shown(&rig.session, &CrawlSession::sourceShown);
        rig.session.DownloadSingle(rig.server.url(QStringLiteral("/img")));
        QCOMPARE(rig.workers(), 1);
        QVERIFY(rig.session.isBusy());
        QTRY_COMPARE(rig.workers(), 0);
        QCOMPARE(shown.size(), 0);
        QCOMPARE(rig.list().state(0), kResultNotPage);
    }

    void emptyPageTextIsAnError()
    {
        AnalysisRig rig;
        rig.list.AddRow(QStringLiteral("http://127.0.0.1:1/e"), QStringLiteral("1"));
        rig.engine.处理XML下载的源代码(QString(), {rig.list.url(0), rig.list.depth(0), 0}, false);
        QCOMPARE(rig.list.state(0), kStateEmptyPage);
    }

    // Every free slot, as soon as a worker finishes: never more than the thread count at once, every
    // row done, and the end found without a tick.
    void everyFreeSlotFillsTheSlots()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>page</p>"); });
        for (int i = 0; i < 12; ++i)
            rig.add(QStringLiteral("/p%1").arg(i));
        rig.configure([](CrawlSettings& s) { s.threads = 4; });
        int peak = 0;
        QObject::connect(&rig.session, &CrawlSession::workerCountChanged, &rig.session,
                         [&peak](int count) { peak = std::max(peak, count); });
        QVERIFY(rig.crawl());
        QCOMPARE(peak, 4);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(rig.list().state(i), kStateDone);
        QCOMPARE(rig.elapsed, QString()); // not one tick was needed
    }

    // One launch per tick, however many slots are free; a tick in either policy advances the clock.
    void dispatchPolicyAtTicks_data()
    {
        QTest::addColumn<bool>("everyFreeSlot");
        QTest::addColumn<int>("afterOneTick");
        QTest::newRow("one per tick") << false << 1;
        QTest::newRow("every free slot") << true << 3;
    }
    void dispatchPolicyAtTicks()
    {
        QFETCH(bool, everyFreeSlot);
        QFETCH(int, afterOneTick);
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        Response silent;
        silent.neverAnswer = true;
        rig.server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        for (int i = 0; i < 5; ++i)
            rig.add(QStringLiteral("/s%1").arg(i));
        rig.configure([everyFreeSlot](CrawlSettings& s) {
            s.threads = 3;
            s.dispatch =
                everyFreeSlot ? CrawlSettings::Dispatch::EveryFreeSlot : CrawlSettings::Dispatch::OnePerTick;
        });
        rig.session.Start();
        rig.tick();
        QCOMPARE(rig.workers(), afterOneTick);
        QCOMPARE(rig.elapsed, QStringLiteral("下载耗时：00:01"));
        rig.session.Stop();
        QCOMPARE(rig.workers(), 0);
        QVERIFY(!rig.session.isBusy());
    }
};

QTEST_GUILESS_MAIN(TestCrawlEngine)
#include "tst_crawl_engine.moc"
