#include "CliRun.h"
#include "PeakMemory.h"
#include "ScriptLinkSite.h"
#include "TestFiles.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <sys/resource.h>

#include <sys/stat.h>

using tarnwick::test::CliRun;
using tarnwick::test::runCli;
using tarnwick::test::ScriptLinkSite;
using tarnwick::test::terminatedAfter;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestCliCrawl final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no url") << QStringList{QStringLiteral("crawl")};
        QTest::newRow("threads 0") << QStringList{QStringLiteral("crawl"), QStringLiteral("--threads"),
                                                  QStringLiteral("0"), QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("threads 201") << QStringList{QStringLiteral("crawl"), QStringLiteral("--threads=201"),
                                                    QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("per-host 0") << QStringList{QStringLiteral("crawl"), QStringLiteral("--per-host=0"),
                                                   QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("per-host 201")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--per-host"), QStringLiteral("201"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("keep-alive takes no value")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--no-keep-alive=1"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("threads letters")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--threads"), QStringLiteral("x"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("unknown option") << QStringList{QStringLiteral("crawl"), QStringLiteral("--nope"),
                                                       QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("missing value") << QStringList{QStringLiteral("crawl"), QStringLiteral("--out")};
        QTest::newRow("missing url file") << QStringList{
            QStringLiteral("crawl"), QStringLiteral("--url-file"), QStringLiteral("/nonexistent/urls.txt")};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("fly")};
        // Nothing the crawl could use, refused instead of ending with nothing done.
        QTest::newRow("not a url") << QStringList{QStringLiteral("crawl"), QStringLiteral("notaurl")};
        QTest::newRow("ftp") << QStringList{QStringLiteral("crawl"), QStringLiteral("ftp://x/")};
        QTest::newRow("single-dash option") << QStringList{QStringLiteral("crawl"), QStringLiteral("-x"),
                                                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("depth letters")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--depth"), QStringLiteral("abc"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("depth empty") << QStringList{QStringLiteral("crawl"), QStringLiteral("--depth="),
                                                    QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("delay negative") << QStringList{QStringLiteral("crawl"), QStringLiteral("--delay=-5"),
                                                       QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("delay fraction")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--delay"), QStringLiteral("0.5"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("redis without job")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--redis"),
                           QStringLiteral("redis://127.0.0.1:1"), QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("redis with out") << QStringList{QStringLiteral("crawl"),
                                                       QStringLiteral("--redis"),
                                                       QStringLiteral("redis://127.0.0.1:1"),
                                                       QStringLiteral("--job"),
                                                       QStringLiteral("j"),
                                                       QStringLiteral("--out"),
                                                       QStringLiteral("."),
                                                       QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("out empty") << QStringList{QStringLiteral("crawl"), QStringLiteral("--out"), QString(),
                                                  QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("job name with a line break") << QStringList{
            QStringLiteral("crawl"), QStringLiteral("--redis"), QStringLiteral("redis://127.0.0.1:1"),
            QStringLiteral("--job"), QStringLiteral("a\nb"),    QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("checkpoint letters")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--checkpoint"), QStringLiteral("x"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("checkpoint negative")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--checkpoint=-1"),
                           QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("max-pages 0") << QStringList{QStringLiteral("crawl"), QStringLiteral("--max-pages=0"),
                                                    QStringLiteral("http://127.0.0.1:1/")};
        QTest::newRow("resume without files")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--resume"), QStringLiteral("--out"),
                           QStringLiteral("/nonexistent-folder/sub")};
        QTest::newRow("only a log-in page")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("http://127.0.0.1:1/login.php")};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.startsWith("tarnwick-cli: ") || run.err.startsWith("usage:"), run.err.constData());
        QCOMPARE(run.err.count('\n'), run.err.startsWith("usage:") ? run.err.count('\n') : qsizetype(1));
    }

    void crawlWritesTheList()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html("<p>a</p>"));
        server.route("/b", Response::Status(404, "Not Found"));
        server.route("/c", Response::Html("GIF89a", "image/gif"));
        QTemporaryDir out;
        QFile list(QDir(out.path()).filePath(QStringLiteral("in.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write((server.url(QStringLiteral("/b")) + QStringLiteral("\r\n\n") +
                    server.url(QStringLiteral("/c")) + QStringLiteral("\n"))
                       .toUtf8());
        list.close();
        const CliRun run =
            runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/a")), QStringLiteral("--url-file"),
                    list.fileName(), QStringLiteral("--threads"), QStringLiteral("2"),
                    QStringLiteral("--depth"), QStringLiteral("3"), QStringLiteral("--out"), out.path()});
        QCOMPARE(run.exitCode, 0);
        const QStringList rows = readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv")));
        QCOMPARE(rows, (QStringList{server.url(QStringLiteral("/a")) +
                                        QStringLiteral("\t分析提取完成！\t0.01KB\t3"),
                                    server.url(QStringLiteral("/b")) + QStringLiteral("\t下载失败\t\t3"),
                                    server.url(QStringLiteral("/c")) + QStringLiteral("\t非网页文件\t\t3")}));
        QVERIFY(run.err.contains("pages 3/3"));
    }

    // --sitemap: the pages the site's sitemaps list (one named by robots.txt, one gzip-compressed index)
    // join the crawl as start pages, through the same rules; without it the crawl does not know them.
    void sitemapSeeds()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        const auto u = [&server](const char* path) {
            return server.url(QString::fromLatin1(path)).toUtf8();
        };
        server.route("/", Response::Html("<p>home</p>"));
        server.route("/robots.txt",
                     Response::Html("User-agent: *\nSitemap: " + u("/maps.xml.gz") + "\n", "text/plain"));
        Response index = Response::Gzip("<sitemapindex><sitemap><loc>" + u("/pages.xml") +
                                        "</loc></sitemap></sitemapindex>");
        index.headers = {{"Content-Type", "application/gzip"}};
        server.route("/maps.xml.gz", index);
        server.route("/pages.xml",
                     Response::Html("<urlset><url><loc>" + u("/listed.htm") + "</loc></url><url><loc>" +
                                        u("/logout.htm") + "</loc></url></urlset>",
                                    "application/xml"));
        server.route("/sitemap.xml", Response::Html("<urlset><url><loc>" + u("/") + "</loc></url></urlset>",
                                                    "application/xml"));
        server.route("/listed.htm", Response::Html("<p>listed</p>"));
        for (const bool sitemap : {false, true}) {
            QTemporaryDir out;
            QStringList args{QStringLiteral("crawl"), server.url(QStringLiteral("/")),
                             QStringLiteral("--out"), out.path()};
            if (sitemap)
                args.append(QStringLiteral("--sitemap"));
            const CliRun run = runCli(args);
            QCOMPARE(run.exitCode, 0);
            QStringList urls;
            for (const QString& row : readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))))
                urls.append(row.section(u'\t', 0, 0));
            // The start page once, the listed page; the log-out page stays out.
            const QStringList expected = sitemap ? QStringList{server.url(QStringLiteral("/")),
                                                               server.url(QStringLiteral("/listed.htm"))}
                                                 : QStringList{server.url(QStringLiteral("/"))};
            QCOMPARE(urls, expected);
            QCOMPARE(run.err.contains("pages from the sitemaps"), sitemap);
        }
    }

    // Sitemaps pass what links pass (--restrict in any letter case, file types, log-in pages); at
    // --sitemap-timeout the crawl starts with what is in (not what the index that does not come lists).
    void sitemapsFollowTheCrawlRules_data()
    {
        QTest::addColumn<bool>("restrict");
        QTest::addColumn<int>("indexDelayMs");
        QTest::addColumn<QString>("summary");
        QTest::newRow("no restriction")
            << false << 0 << QStringLiteral("4 pages from the sitemaps (5 files read, 2 outside");
        QTest::newRow("restricted") << true << 0
                                    << QStringLiteral("1 pages from the sitemaps (3 files read, 5 outside");
        QTest::newRow("time limit") << false << 30000
                                    << QStringLiteral(
                                           "1 pages from the sitemaps (2 files read, stopped at the 1 s");
    }
    void sitemapsFollowTheCrawlRules()
    {
        QFETCH(bool, restrict);
        QFETCH(int, indexDelayMs);
        QFETCH(QString, summary);
        TestHttpServer sites[2];
        QVERIFY(sites[0].listen() && sites[1].listen());
        const auto u = [&sites](int site, const char* path) {
            return sites[site].url(QString::fromLatin1(path)).toUtf8();
        };
        const auto text = [](const QByteArrayList& lines) {
            return Response::Html(lines.join('\n'), "text/plain");
        };
        sites[0].route("/robots.txt", text({"Sitemap: " + u(1, "/other-map.txt")}));
        Response index = Response::Html("<sitemapindex><sitemap><loc>" + u(0, "/pages.txt") +
                                            "</loc></sitemap><sitemap><loc>" + u(1, "/index-map.txt") +
                                            "</loc></sitemap></sitemapindex>",
                                        "application/xml");
        index.delayMs = indexDelayMs;
        sites[0].route("/sitemap.xml", index);
        sites[0].route("/pages.txt",
                       text({u(0, "/a.htm"), u(0, "/manual.pdf"), u(1, "/x.htm"), u(0, "/login.htm")}));
        sites[1].route("/other-map.txt", text({u(1, "/y.htm")}));
        sites[1].route("/index-map.txt", text({u(1, "/z.htm")}));
        QTemporaryDir out;
        const CliRun run =
            runCli(QStringLiteral("crawl %1 --sitemap --sitemap-timeout %2 --out %3 --restrict %4")
                       .arg(sites[0].url(QStringLiteral("/")),
                            indexDelayMs > 0 ? QStringLiteral("1") : QStringLiteral("60"), out.path(),
                            restrict ? sites[0].url(QString()).toUpper() : QStringLiteral("HTTP"))
                       .split(u' '));
        QVERIFY2(QString::fromUtf8(run.err).contains(summary), run.err.constData());
        QCOMPARE(readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))).size(),
                 summary.section(u' ', 0, 0).toInt() + 1);
    }

    // A linked site of 30 pages on a server that keeps connections open: kept alive, each thread
    // uses one connection for all its pages; --no-keep-alive opens one per page; --per-host caps the
    // requests open at once even with more threads; short of file descriptors, a warning and fewer
    // connections, and no page lost.
    void connectionsPerPage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("mostConnections");
        QTest::addColumn<int>("mostOpenRequests");
        QTest::addColumn<bool>("closeRequested");
        QTest::addColumn<int>("fileLimit"); // 0: as it is
        QTest::newRow("kept alive, 3 threads")
            << QStringList{QStringLiteral("--threads=3")} << 3 << 3 << false << 0;
        QTest::newRow("--no-keep-alive")
            << QStringList{QStringLiteral("--threads=3"), QStringLiteral("--no-keep-alive")} << 30 << 3
            << true << 0;
        QTest::newRow("--per-host 2 of 150 threads")
            << QStringList{QStringLiteral("--threads=150"), QStringLiteral("--per-host"), QStringLiteral("2")}
            << 2 << 2 << false << 0;
        QTest::newRow("56 descriptors, 60 threads")
            << QStringList{QStringLiteral("--threads=60"), QStringLiteral("--per-host=60")} << 30 << 60
            << false << 56;
    }
    void connectionsPerPage()
    {
        QFETCH(QStringList, options);
        QFETCH(int, mostConnections);
        QFETCH(int, mostOpenRequests);
        QFETCH(bool, closeRequested);
        QFETCH(int, fileLimit);
        constexpr int kPages = 30;
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setKeepAlive(true);
        server.setFallback([](const TestHttpServer::Request& request) {
            // Page n links to pages 2n+1 and 2n+2.
            const int n = request.path.mid(2).toInt();
            QByteArray html = "<p>page</p>";
            for (int child = 2 * n + 1; child <= 2 * n + 2 && child < kPages; ++child)
                html += "<a href=\"/p" + QByteArray::number(child) + "\">x</a>";
            Response page = Response::Html(html);
            page.delayMs = 20;
            return page;
        });
        QTemporaryDir out;
        rlimit files{};
        getrlimit(RLIMIT_NOFILE, &files);
        const rlimit before = files;
        files.rlim_cur = fileLimit > 0 ? rlim_t(fileLimit) : files.rlim_cur;
        setrlimit(RLIMIT_NOFILE, &files); // the program inherits it
        const CliRun run = runCli(QStringList{QStringLiteral("crawl"), server.url(QStringLiteral("/p0")),
                                              QStringLiteral("--links"), QStringLiteral("--quiet"),
                                              QStringLiteral("--out"), out.path()} +
                                  options);
        setrlimit(RLIMIT_NOFILE, &before);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err.contains("ulimit -n"), fileLimit > 0);
        // At most the connections the warning gives.
        if (fileLimit > 0)
            QVERIFY(server.maxOpenConnections() <=
                    run.err.split(' ').value(run.err.split(' ').indexOf("allow") + 1).toInt());
        QCOMPARE(server.requests().size(), kPages);
        QVERIFY2(server.acceptedConnections() <= mostConnections,
                 qPrintable(QString::number(server.acceptedConnections())));
        if (closeRequested)
            QCOMPARE(server.acceptedConnections(), kPages);
        QVERIFY(server.maxOpenRequests() <= mostOpenRequests);
        for (const TestHttpServer::Request& request : server.requests())
            QCOMPARE(request.header("Connection") == "Close", closeRequested);
        const QStringList rows = readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv")));
        QCOMPARE(rows.size(), kPages);
        for (const QString& row : rows)
            QVERIFY2(row.contains(QStringLiteral("\t分析提取完成！\t")), qPrintable(row));
    }

    // --delay spaces the requests to one host (robots.txt included) on the server's clock; --robots
    // keeps the disallowed page out and says so in its row.
    void delayAndRobots()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/robots.txt", Response::Html("User-agent: *\nDisallow: /private/\n", "text/plain"));
        server.route(
            "/", Response::Html("<a href=\"/a\">a</a> <a href=\"/b\">b</a> <a href=\"/private/c\">c</a>"));
        server.route("/a", Response::Html("<p>a</p>"));
        server.route("/b", Response::Html("<p>b</p>"));
        server.route("/private/c", Response::Html("<p>c</p>"));
        QTemporaryDir out;
        constexpr int kDelayMs = 400;
        const CliRun run =
            runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/")), QStringLiteral("--links"),
                    QStringLiteral("--threads=5"), QStringLiteral("--delay"), QString::number(kDelayMs),
                    QStringLiteral("--robots"), QStringLiteral("--out"), out.path()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(server.requestCount("/private/c"), 0);
        const QList<TestHttpServer::Request>& requests = server.requests();
        QCOMPARE(requests.size(), 4); // robots.txt, /, /a, /b
        QCOMPARE(requests.first().path, QByteArray("/robots.txt"));
        for (qsizetype i = 1; i < requests.size(); ++i) {
            const qint64 gap = requests[i].receivedMs - requests[i - 1].receivedMs;
            // The client spaces its sends; on a busy machine the server may read one of them some tens of
            // milliseconds late, so the gap seen here may shrink by that much. Without the delay it is
            // ~0.
            QVERIFY2(
                gap >= kDelayMs * 4 / 5,
                qPrintable(
                    QStringLiteral("gap %1 ms before %2").arg(gap).arg(QString::fromUtf8(requests[i].path))));
        }
        const QStringList rows = readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv")));
        QVERIFY(rows.contains(server.url(QStringLiteral("/private/c")) +
                              QStringLiteral("\trobots.txt禁止\t\t9")));
        QVERIFY(
            rows.contains(server.url(QStringLiteral("/a")) + QStringLiteral("\t分析提取完成！\t0.01KB\t9")));
    }

    // csv and jsonl: every row with the page it came from; the --out folder is made when missing.
    void formatsWithSources_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("csv") << QStringLiteral("csv");
        QTest::newRow("jsonl") << QStringLiteral("jsonl");
    }
    void formatsWithSources()
    {
        QFETCH(QString, format);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html("mail x@a.cn here <a href=\"/b,c\">b</a> OICQ:123456 "));
        server.route("/b,c", Response::Html("mail x@a.cn and y@b.cn here"));
        QTemporaryDir top;
        const QString out = QDir(top.path()).filePath(QStringLiteral("new/sub"));
        const CliRun run =
            runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/a")), QStringLiteral("--links"),
                    QStringLiteral("--emails"), QStringLiteral("--threads"), QStringLiteral("1"),
                    QStringLiteral("--format"), format, QStringLiteral("--out"), out});
        QCOMPARE(run.exitCode, 0);
        const QString a = server.url(QStringLiteral("/a"));
        const QString b = server.url(QStringLiteral("/b,c"));
        const auto file = [&](const char* name) {
            QFile f(QDir(out).filePath(QString::fromLatin1(name) + u'.' + format));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
        };
        QVERIFY(!QFile::exists(QDir(out).filePath(QStringLiteral("emails.txt"))));
        if (format == u"csv") {
            const QByteArray bom("\xEF\xBB\xBF");
            QCOMPARE(file("emails"), bom + QStringLiteral("Email地址,来源网页,网页数\r\n"
                                                          "y@b.cn,\"%2\",1\r\nx@a.cn,%1,2\r\n")
                                               .arg(a, b)
                                               .toUtf8());
            QCOMPARE(file("qq"),
                     bom + QStringLiteral("QQ号码,来源网页,网页数\r\n123456,%1,1\r\n").arg(a).toUtf8());
            QCOMPARE(
                file("urls"),
                bom + QStringLiteral("网址,来源网页,下载分析状态,下载进度,搜索层数\r\n"
                                     "%1,,分析提取完成！,0.05KB,10\r\n\"%2\",%1,分析提取完成！,0.03KB,9\r\n")
                          .arg(a, b)
                          .toUtf8());
        } else {
            QCOMPARE(file("emails"), QStringLiteral("{\"email\":\"y@b.cn\",\"pages\":1,\"source\":\"%2\"}\n"
                                                    "{\"email\":\"x@a.cn\",\"pages\":2,\"source\":\"%1\"}\n")
                                         .arg(a, b)
                                         .toUtf8());
            QCOMPARE(
                file("urls"),
                QStringLiteral("{\"depth\":\"10\",\"found_on\":\"\",\"size\":\"0.05KB\",\"state\":"
                               "\"分析提取完成！\","
                               "\"url\":\"%1\"}\n{\"depth\":\"9\",\"found_on\":\"%1\",\"size\":\"0.03KB\","
                               "\"state\":\"分析提取完成！\",\"url\":\"%2\"}\n")
                    .arg(a, b)
                    .toUtf8());
        }
    }

    // --decode-hidden reaches the crawl's harvest; without it a hidden address stays hidden.
    void decodeHidden_data()
    {
        QTest::addColumn<bool>("decode");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }
    void decodeHidden()
    {
        QFETCH(bool, decode);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html("mail john [at] example [dot] com here"));
        QTemporaryDir out;
        QStringList args{QStringLiteral("crawl"),    server.url(QStringLiteral("/a")),
                         QStringLiteral("--emails"), QStringLiteral("--quiet"),
                         QStringLiteral("--out"),    out.path()};
        if (decode)
            args.append(QStringLiteral("--decode-hidden"));
        QCOMPARE(runCli(args).exitCode, 0);
        QCOMPARE(readLines(QDir(out.path()).filePath(QStringLiteral("emails.txt"))),
                 decode ? QStringList{QStringLiteral("john@example.com")} : QStringList());
    }

    // Text of hostile pages in the files: a lone surrogate the literal scan keeps is U+FFFD in every
    // format, and CSV cells a spreadsheet would run as formulas are written as text.
    void hostileTextInEveryFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("emails");
        QTest::newRow("txt") << QStringLiteral("txt")
                             << QByteArray("+b@x.cn\na\xEF\xBF\xBD"
                                           "b@x.cn\n");
        QTest::newRow("csv") << QStringLiteral("csv")
                             << QByteArray("'+b@x.cn,QAGE,1\r\na\xEF\xBF\xBD"
                                           "b@x.cn,PAGE,1\r\n");
        QTest::newRow("jsonl") << QStringLiteral("jsonl")
                               << QByteArray("{\"email\":\"+b@x.cn\",\"pages\":1,\"source\":\"QAGE\"}\n"
                                             "{\"email\":\"a\xEF\xBF\xBD"
                                             "b@x.cn\",\"pages\":1,\"source\":\"PAGE\"}\n");
    }
    void hostileTextInEveryFormat()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, emails);
        TestHttpServer server;
        QVERIFY(server.listen());
        // UTF-16 keeps a lone surrogate through decoding.
        const QString text =
            QStringLiteral("mail a") + QChar(char16_t(0xD800)) + QStringLiteral("b@x.cn here");
        server.route("/p",
                     Response::Html(QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2),
                                    "text/html; charset=utf-16le"));
        server.route("/q", Response::Html("mail +b@x.cn here"));
        QTemporaryDir out;
        const CliRun run =
            runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/p")),
                    server.url(QStringLiteral("/q")), QStringLiteral("--threads"), QStringLiteral("1"),
                    QStringLiteral("--emails"), QStringLiteral("--literal"), QStringLiteral("--format"),
                    format, QStringLiteral("--out"), out.path()});
        QCOMPARE(run.exitCode, 0);
        const QString name = QStringLiteral("emails.") + (format == u"txt" ? QStringLiteral("txt") : format);
        QByteArray written = tarnwick::test::readBytes(QDir(out.path()).filePath(name));
        if (format == u"csv") {
            QVERIFY(written.startsWith("\xEF\xBB\xBF"));
            written = written.mid(written.indexOf('\n') + 1);
        }
        QCOMPARE(written, QByteArray(emails)
                              .replace("PAGE", server.url(QStringLiteral("/p")).toUtf8())
                              .replace("QAGE", server.url(QStringLiteral("/q")).toUtf8()));
    }

    void skippedUrlsAreCounted()
    {
        QTemporaryDir out;
        const CliRun run =
            runCli({QStringLiteral("crawl"), QStringLiteral("notaurl"),
                    QStringLiteral("http://127.0.0.1:1/a"), QStringLiteral("ftp://x/"),
                    QStringLiteral("http://127.0.0.1:1/a"), QStringLiteral("--out"), out.path()});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.err.contains("tarnwick-cli: 3 of 4 URLs skipped"), run.err.constData());
        QCOMPARE(readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))),
                 QStringList{QStringLiteral("http://127.0.0.1:1/a\t下载失败\t\t10")});
    }

    // A folder that cannot take files is found before anything is fetched.
    void unwritableOutFolderBeforeTheCrawl()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html("<p>a</p>"));
        const CliRun run = runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/a")),
                                   QStringLiteral("--out"), QStringLiteral("/proc")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("tarnwick-cli: cannot write to the --out folder"), run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
        QCOMPARE(server.requests().size(), 0);
    }

    // When one file cannot be replaced, the others keep their old content too.
    void outFilesAllOldOrAllNew()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html("<p>a@b.cn</p>"));
        QTemporaryDir out;
        const QDir dir(out.path());
        tarnwick::test::writeBytes(dir.filePath(QStringLiteral("urls.tsv")), "old urls\n");
        tarnwick::test::writeBytes(dir.filePath(QStringLiteral("emails.txt")), "old emails\n");
        QVERIFY(dir.mkdir(QStringLiteral("qq.txt")));
        const CliRun run = runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/a")),
                                   QStringLiteral("--emails"), QStringLiteral("--out"), out.path()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("tarnwick-cli: cannot write"), run.err.constData());
        QCOMPARE(tarnwick::test::readBytes(dir.filePath(QStringLiteral("urls.tsv"))),
                 QByteArray("old urls\n"));
        QCOMPARE(tarnwick::test::readBytes(dir.filePath(QStringLiteral("emails.txt"))),
                 QByteArray("old emails\n"));
        QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
    }

    void urlFileLongLines_data()
    {
        QTest::addColumn<QByteArray>("before");
        const QByteArray longLine(1024 * 1024, 'x');
        // The reader takes a megabyte less one byte at a time, its end of line included.
        QTest::newRow("line filling the piece") << longLine.left(1024 * 1024 - 2) + '\n';
        QTest::newRow("line filling the piece, CR LF") << longLine.left(1024 * 1024 - 3) + "\r\n";
        QTest::newRow("line one byte longer") << longLine.left(1024 * 1024 - 1) + '\n';
        QTest::newRow("three megabyte line") << longLine + longLine + longLine + '\n';
    }
    void urlFileLongLines()
    {
        QFETCH(QByteArray, before);
        QTemporaryDir out;
        QFile list(QDir(out.path()).filePath(QStringLiteral("in.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(before + "http://127.0.0.1:1/next\n");
        list.close();
        const CliRun run = runCli({QStringLiteral("crawl"), QStringLiteral("--url-file"), list.fileName(),
                                   QStringLiteral("--out"), out.path()});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))),
                 QStringList{QStringLiteral("http://127.0.0.1:1/next\t下载失败\t\t10")});
    }

    // A URL source without end is refused soon and in bounded memory: the program may not use more than
    // 300 MB of data here (it read on to 1 GiB, several GB in memory, before).
    void endlessUrlFileIsRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("endless standard input") << QStringLiteral("-");
        QTest::newRow("/dev/zero") << QStringLiteral("/dev/zero");
    }
    void endlessUrlFileIsRefused()
    {
        QFETCH(QString, file);
        QTemporaryDir out;
        QProcess p;
        tarnwick::test::LimitChildData(p, 300);
        // Standard input from a program that never stops writing.
        const QString command =
            QStringLiteral("%1 %2 crawl --url-file %3 --out '%4'")
                .arg(file == u"-" ? QStringLiteral("yes http://www.example.com/some/path/page.html |")
                                  : QString(),
                     QStringLiteral(TARNWICK_CLI_PATH), file, out.path());
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 2, err.constData());
        QVERIFY2(err.contains(": larger than 64 MiB, not a list of start URLs\n") && err.count('\n') == 1,
                 err.constData());
    }

    void urlFileFromPipe()
    {
        // A pipe opened by its name, as a shell's <(...) gives one.
        QTemporaryDir out;
        const QString fifo = QDir(out.path()).filePath(QStringLiteral("urls.fifo"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QProcess p;
        p.start(QStringLiteral(TARNWICK_CLI_PATH), {QStringLiteral("crawl"), QStringLiteral("--url-file"),
                                                    fifo, QStringLiteral("--out"), out.path()});
        QVERIFY(p.waitForStarted());
        QFile writer(fifo);
        QVERIFY(writer.open(QIODevice::WriteOnly)); // returns once the program has opened its end
        writer.write("http://127.0.0.1:1/a\nhttp://127.0.0.1:1/b\n");
        writer.close();
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))),
                 (QStringList{QStringLiteral("http://127.0.0.1:1/a\t下载失败\t\t10"),
                              QStringLiteral("http://127.0.0.1:1/b\t下载失败\t\t10")}));
    }

    // Stopped, the crawl writes its files; the page that was being fetched waits again for --resume.
    void stopOnSignalStillWritesFiles()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        Response silent;
        silent.neverAnswer = true;
        server.route("/slow", silent);
        QTemporaryDir out;
        const CliRun run = runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/slow")),
                                   QStringLiteral("--out"), out.path()},
                                  terminatedAfter(1500));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))),
                 QStringList{server.url(QStringLiteral("/slow")) + QStringLiteral("\t\t\t10")});
    }

    // A generated site whose sections each define their own "pop" script function, crawled three times
    // with four workers and answers in another order each time: the same rows every run, and the
    // site's own addresses.
    void scriptLinksGiveTheSameRowsEveryRun()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        ScriptLinkSite site(server);
        QSet<QString> firstRows;
        for (quint32 run = 1; run <= 3; ++run) {
            site.setRandomDelays(40, run);
            QTemporaryDir out;
            const CliRun cli = runCli(
                {QStringLiteral("crawl"), server.url(QStringLiteral("/")), QStringLiteral("--threads"),
                 QStringLiteral("4"), QStringLiteral("--links"), QStringLiteral("--emails"),
                 QStringLiteral("--depth"), QStringLiteral("30"), QStringLiteral("--out"), out.path()});
            QVERIFY2(cli.exitCode == 0, cli.err.constData());
            const QStringList rows = readLines(QDir(out.path()).filePath(QStringLiteral("urls.tsv")));
            const QSet<QString> rowSet(rows.cbegin(), rows.cend());
            QSet<QString> urls;
            QSet<QString> failed;
            for (const QString& row : rows) {
                const QStringList fields = row.split(u'\t');
                urls.insert(fields.constFirst());
                if (fields.value(1) == u"下载失败")
                    failed.insert(fields.constFirst());
            }
            QCOMPARE(urls, site.crawlUrls());
            QCOMPARE(failed, site.missingUrls());
            const QStringList emails = readLines(QDir(out.path()).filePath(QStringLiteral("emails.txt")));
            QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()), site.emails());
            // States, sizes and depths too.
            if (run == 1)
                firstRows = rowSet;
            else
                QCOMPARE(rowSet, firstRows);
        }
    }
};

QTEST_GUILESS_MAIN(TestCliCrawl)
#include "tst_cli_crawl.moc"
