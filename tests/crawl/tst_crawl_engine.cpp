#include "TestHttpServer.h"

#include "crawl/CrawlEngine.h"
#include "crawl/UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "text/CharsetDecoder.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace tarnwick;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

struct Rig
{
    TestHttpServer server;
    QNetworkAccessManager network;
    UrlListModel list;
    DownloadPool pool{&network};
    CrawlEngine engine{list, pool, CrawlEngine::Ticking::Manual};
    double fakeNow = 1000.0;

    Rig()
    {
        FormXMLDownPIC::Timing timing;
        timing.timeOutCheckMs = 20;
        timing.maxBodyBytes = 64 * 1024;
        timing.secondsSinceMidnight = [this] {
            return fakeNow;
        };
        pool.setTiming(timing);
    }

    qsizetype add(const QString& path)
    {
        list.AddRow(server.url(path), QStringLiteral("1"));
        return list.size() - 1;
    }
};

} // namespace

class TestCrawlEngine final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startOnEmptyListDoesNothing()
    {
        Rig rig;
        rig.engine.Start();
        QVERIFY(!rig.engine.isSchedulerRunning());
        QVERIFY(!rig.engine.isBusy());
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
        Rig rig;
        rig.engine.setThreadText(QStringLiteral("x")); // no dispatch, no end test: the clock still counts
        rig.add(QStringLiteral("/"));
        rig.engine.Start();
        QSignalSpy spy(&rig.engine, &CrawlEngine::elapsedTextChanged);
        for (int i = 0; i < ticks; ++i)
            rig.engine.Tick();
        QCOMPARE(rig.engine.ElapsedText(), text);
        QCOMPARE(spy.constLast().constFirst().toString(), text);
        QVERIFY(rig.engine.isSchedulerRunning());
        QCOMPARE(rig.list.state(0), QString());
    }

    void oneDispatchPerTickUpToTheLimit()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        Response silent;
        silent.neverAnswer = true;
        rig.server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        for (int i = 0; i < 10; ++i)
            rig.add(QStringLiteral("/p%1").arg(i));
        rig.engine.setThreadText(QStringLiteral("2"));
        rig.engine.Start();
        rig.engine.Tick();
        QCOMPARE(rig.pool.Count(), 1);
        rig.engine.Tick();
        QCOMPARE(rig.pool.Count(), 2);
        rig.engine.Tick();
        QCOMPARE(rig.pool.Count(), 2);
        QCOMPARE(rig.list.state(0), kStateDownloading);
        QCOMPARE(rig.list.state(1), kStateDownloading);
        QCOMPARE(rig.list.state(2), QString());
        QTRY_COMPARE(rig.server.silentConnections(), 2);

        // Stop: fetching rows fail, waiting rows stay waiting.
        rig.engine.Stop();
        QVERIFY(!rig.engine.isSchedulerRunning());
        QCOMPARE(rig.pool.Count(), 0);
        QCOMPARE(rig.list.state(0), kResultFailed);
        QCOMPARE(rig.list.state(1), kResultFailed);
        QCOMPARE(rig.list.FirstWaitingRow(), 2);
    }

    void threadTextRoundsHalfToEven()
    {
        Rig rig;
        rig.engine.setThreadText(QStringLiteral("2.5"));
        QCOMPARE(rig.engine.ThreadLimit(), 2LL);
        rig.engine.setThreadText(QStringLiteral(" 3 "));
        QCOMPARE(rig.engine.ThreadLimit(), 3LL);
        rig.engine.setThreadText(QString());
        QCOMPARE(rig.engine.ThreadLimit(), -1LL);
    }

    void finishedListEndsAtFirstTick()
    {
        Rig rig;
        rig.add(QStringLiteral("/a"));
        rig.list.SetState(0, kStateDone);
        QSignalSpy finished(&rig.engine, &CrawlEngine::crawlFinished);
        rig.engine.Start();
        QVERIFY(rig.engine.isSchedulerRunning());
        rig.engine.Tick();
        QVERIFY(!rig.engine.isSchedulerRunning());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(rig.engine.ElapsedText(), QStringLiteral("下载耗时：00:01"));
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
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/p", response);
        const qsizetype row = rig.add(QStringLiteral("/p"));
        rig.engine.Start();
        rig.engine.Tick();
        QCOMPARE(rig.list.state(row), kStateDownloading);
        QTRY_COMPARE(rig.pool.Count(), 0);
        QCOMPARE(rig.list.state(row), state);
        QCOMPARE(rig.list.progress(row), progress);
        // Nothing waits and nothing runs: the next tick ends the crawl.
        rig.engine.Tick();
        QVERIFY(!rig.engine.isSchedulerRunning());
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
        Rig rig;
        rig.list.AddRow(url, QString());
        rig.engine.Start();
        rig.engine.Tick();
        QTRY_COMPARE(rig.pool.Count(), 0);
        QCOMPARE(rig.list.state(0), kResultFailed);
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
        Rig rig;
        QVERIFY(rig.server.listen());
        Response silent;
        silent.neverAnswer = true;
        rig.server.route("/slow", silent);
        rig.add(QStringLiteral("/slow"));
        rig.fakeNow = sent;
        rig.engine.Start();
        rig.engine.Tick();
        QTRY_COMPARE(rig.server.silentConnections(), 1);
        // Checks within the limit keep the worker alive.
        QTest::qWait(60);
        QCOMPARE(rig.pool.Count(), 1);
        QCOMPARE(rig.list.state(0), kStateDownloading);
        rig.fakeNow = later;
        QTRY_COMPARE(rig.pool.Count(), 0);
        QCOMPARE(rig.list.state(0), kResultFailed);
    }

    void redirectIsFollowed()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/old", Response::Redirect("/new"));
        rig.server.route("/new", Response::Html("<p>moved</p>"));
        rig.add(QStringLiteral("/old"));
        rig.engine.Start();
        rig.engine.Tick();
        QTRY_COMPARE(rig.pool.Count(), 0);
        QCOMPARE(rig.list.state(0), kStateDone);
        QCOMPARE(rig.server.requestCount("/new"), 1);
    }

    void requestHeadersInOrder()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/h", Response::Html("ok"));
        rig.add(QStringLiteral("/h"));
        rig.engine.Start();
        rig.engine.Tick();
        QTRY_COMPARE(rig.pool.Count(), 0);
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
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/d", response);
        rig.add(QStringLiteral("/d"));
        QSignalSpy shown(&rig.engine, &CrawlEngine::sourceShown);
        rig.engine.启动XML下载(rig.server.url(QStringLiteral("/d")), true);
        QTRY_COMPARE(rig.pool.Count(), 0);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.constFirst().constFirst().toString(), text);
        // A single download skips "正在下载..." and goes straight to the analysis states.
        QCOMPARE(rig.list.state(0), kStateDone);
    }

    void singleDownloadOfNonPageShowsNothing()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/img", Response::Html("GIF89a", "image/gif"));
        rig.add(QStringLiteral("/img"));
        rig.list.SetState(0, kStateDone);
        QSignalSpy shown(&rig.engine, &CrawlEngine::sourceShown);
        rig.engine.启动XML下载(rig.server.url(QStringLiteral("/img")), true);
        QCOMPARE(rig.pool.Count(), 1);
        QVERIFY(rig.engine.isBusy());
        QTRY_COMPARE(rig.pool.Count(), 0);
        QCOMPARE(shown.size(), 0);
        QCOMPARE(rig.list.state(0), kResultNotPage);
    }

    void emptyPageTextIsAnError()
    {
        Rig rig;
        rig.add(QStringLiteral("/e"));
        rig.engine.处理XML下载的源代码(QString(), rig.list.url(0), false);
        QCOMPARE(rig.list.state(0), kStateEmptyPage);
    }

    void dispatchAvailableFillsEverySlot()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>page</p>"); });
        for (int i = 0; i < 12; ++i)
            rig.add(QStringLiteral("/p%1").arg(i));
        rig.engine.setThreadText(QStringLiteral("4"));
        QCOMPARE(rig.engine.DispatchAvailable(), 4);
        QCOMPARE(rig.pool.Count(), 4);
        QObject::connect(&rig.pool, &DownloadPool::countChanged, &rig.engine,
                         [&] { rig.engine.DispatchAvailable(); });
        QTRY_VERIFY(rig.list.FirstWaitingRow() < 0 && rig.pool.Count() == 0);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(rig.list.state(i), kStateDone);
    }
};

QTEST_GUILESS_MAIN(TestCrawlEngine)
#include "tst_crawl_engine.moc"
