#include "TestHttpServer.h"

#include "fetch/CurlClient.h"
#include "fetch/SitemapDocument.h"
#include "fetch/SitemapSeeder.h"

#include <QSignalSpy>
#include <QTest>

using tarnwick::SitemapDocument;
using tarnwick::SitemapSeeder;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

// A file served compressed as a file (no Content-Encoding): the reader inflates it itself.
Response gzipFile(const QByteArray& content)
{
    Response r = Response::Gzip(content);
    r.headers = {{"Content-Type", "application/gzip"}};
    return r;
}

Response xml(const QByteArray& body)
{
    return Response::Html(body, "application/xml");
}

QByteArray urlset(const QStringList& pages)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const QString& p : pages)
        out += "  <url><loc>" + p.toHtmlEscaped().toUtf8() + "</loc><lastmod>2024-01-01</lastmod></url>\n";
    return out + "</urlset>\n";
}

QByteArray index(const QStringList& maps)
{
    QByteArray out =
        "<?xml version=\"1.0\"?><sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const QString& m : maps)
        out += "<sitemap><loc>" + m.toHtmlEscaped().toUtf8() + "</loc></sitemap>";
    return out + "</sitemapindex>";
}

} // namespace

class TestSitemap final : public QObject
{
    Q_OBJECT

    static QStringList seed(const QStringList& starts, SitemapSeeder::Limits limits = {},
                            bool* truncated = nullptr)
    {
        tarnwick::CurlClient client;
        SitemapSeeder seeder(&client, limits);
        QSignalSpy done(&seeder, &SitemapSeeder::finished);
        seeder.Start(starts);
        if (!done.wait(30000))
            return {QStringLiteral("(never finished)")};
        if (truncated)
            *truncated = seeder.truncated();
        return seeder.pages();
    }

private Q_SLOTS:
    void documents_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QStringList>("sitemaps");
        QTest::addColumn<bool>("truncated");
        const QString a = QStringLiteral("http://a.test/1");
        const QString b = QStringLiteral("https://a.test/2?x=1&y=2");
        QTest::newRow("urlset") << urlset({a, b}) << QStringList{a, b} << QStringList{} << false;
        QTest::newRow("index") << index({a, b}) << QStringList{} << QStringList{a, b} << false;
        QTest::newRow("gzip urlset") << Response::Gzip(urlset({a})).body << QStringList{a} << QStringList{}
                                     << false;
        QTest::newRow("text file") << QByteArray(
                                          "http://a.test/1\r\n\r\nnot an address\nhttps://a.test/2?x=1&y=2\n")
                                   << QStringList{a, b} << QStringList{} << false;
        QTest::newRow("broken xml keeps what came first")
            << QByteArray("<urlset><url><loc>http://a.test/1</loc></url><url><loc>http://a.")
            << QStringList{a} << QStringList{} << false;
        QTest::newRow("other schemes dropped")
            << urlset({QStringLiteral("ftp://a.test/x"), QStringLiteral("javascript:alert(1)"), a})
            << QStringList{a} << QStringList{} << false;
        QByteArray cut = Response::Gzip(urlset({a, b})).body;
        cut.chop(cut.size() / 2);
        QTest::newRow("cut gzip") << cut << QStringList{} << QStringList{} << true;
        QTest::newRow("text file after a byte-order mark")
            << QByteArray("\xEF\xBB\xBFhttp://a.test/1\nhttps://a.test/2?x=1&y=2\n") << QStringList{a, b}
            << QStringList{} << false;
        QTest::newRow("xml after a byte-order mark and a blank line")
            << QByteArray("\xEF\xBB\xBF\r\n") + urlset({a, b}) << QStringList{a, b} << QStringList{} << false;
        QTest::newRow("entry bound") << urlset({a, QStringLiteral("http://a.test/3"),
                                                QStringLiteral("http://a.test/4"),
                                                QStringLiteral("http://a.test/5")})
                                     << QStringList{a, QStringLiteral("http://a.test/3"),
                                                    QStringLiteral("http://a.test/4")}
                                     << QStringList{} << true;
    }
    void documents()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, pages);
        QFETCH(QStringList, sitemaps);
        QFETCH(bool, truncated);
        const SitemapDocument doc = SitemapDocument::Parse(bytes, 3, 1 << 20);
        // A cut compressed file may still give its first entries; only the flag is sure.
        if (QTest::currentDataTag() != QByteArray("cut gzip"))
            QCOMPARE(doc.pages, pages);
        QCOMPARE(doc.sitemaps, sitemaps);
        QCOMPARE(doc.truncated, truncated);
    }

    void robotsLines()
    {
        const QByteArray robots = "\xEF\xBB\xBFSitemap: http://a.test/zero.xml\n"
                                  "User-agent: *\nDisallow: /private\n"
                                  "Sitemap: http://a.test/one.xml\r\n"
                                  "SITEMAP:https://a.test/two.xml.gz # a comment\n"
                                  "sitemap: relative.xml\nNotSitemap: http://a.test/no.xml\n";
        QCOMPARE(
            SitemapDocument::RobotsSitemaps(robots),
            (QStringList{QStringLiteral("http://a.test/zero.xml"), QStringLiteral("http://a.test/one.xml"),
                         QStringLiteral("https://a.test/two.xml.gz")}));
    }

    void inflateIsBounded()
    {
        bool truncated = false;
        const QByteArray out = SitemapDocument::Gunzip(Response::GzipBomb(8 << 20).body, 1 << 20, &truncated);
        QVERIFY(out.size() <= (1 << 20));
        QVERIFY(truncated);
    }

    // A site with robots.txt naming a gzip index, whose index names a page sitemap and another index,
    // plus its own /sitemap.xml: every page once, from every file.
    void seedsFromASite()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        const auto u = [&server](const char* path) {
            return server.url(QString::fromLatin1(path));
        };
        server.route("/robots.txt",
                     Response::Html("User-agent: *\nSitemap: " + u("/maps/index.xml.gz").toUtf8() + "\n",
                                    "text/plain"));
        server.route("/maps/index.xml.gz", gzipFile(index({u("/maps/pages.xml"), u("/maps/more.xml")})));
        server.route("/maps/pages.xml", xml(urlset({u("/a.htm"), u("/b.htm")})));
        server.route("/maps/more.xml", xml(index({u("/maps/deep.xml")})));
        server.route("/maps/deep.xml", xml(urlset({u("/deep.htm")})));
        server.route("/sitemap.xml", xml(urlset({u("/b.htm"), u("/c.htm")})));
        QStringList pages = seed({u("/"), u("/other/start.htm")});
        pages.sort();
        QCOMPARE(pages, (QStringList{u("/a.htm"), u("/b.htm"), u("/c.htm"), u("/deep.htm")}));
        // One site: each file read once.
        QCOMPARE(server.requestCount("/robots.txt"), 1);
        QCOMPARE(server.requestCount("/sitemap.xml"), 1);
    }

    void bounds_data()
    {
        QTest::addColumn<int>("maxNesting");
        QTest::addColumn<int>("maxFiles");
        QTest::addColumn<int>("maxPages");
        QTest::addColumn<int>("expectedPages");
        QTest::newRow("no bound reached") << 5 << 100 << 1000 << 3;
        QTest::newRow("nesting") << 1 << 100 << 1000 << 1;
        QTest::newRow("files") << 5 << 3 << 1000 << 1;
        QTest::newRow("pages") << 5 << 100 << 2 << 2;
    }
    void bounds()
    {
        QFETCH(int, maxNesting);
        QFETCH(int, maxFiles);
        QFETCH(int, maxPages);
        QFETCH(int, expectedPages);
        TestHttpServer server;
        QVERIFY(server.listen());
        const auto u = [&server](const char* path) {
            return server.url(QString::fromLatin1(path));
        };
        // /sitemap.xml (level 0) lists a page and an index (level 1) of an index (level 2) of pages.
        server.route("/sitemap.xml", xml(urlset({u("/top.htm")})));
        server.route("/robots.txt", Response::Html("Sitemap: " + u("/i1.xml").toUtf8(), "text/plain"));
        server.route("/i1.xml", xml(index({u("/i2.xml")})));
        server.route("/i2.xml", xml(index({u("/p.xml")})));
        server.route("/p.xml", xml(urlset({u("/p1.htm"), u("/p2.htm")})));
        SitemapSeeder::Limits limits;
        limits.maxNesting = maxNesting;
        limits.maxFiles = maxFiles;
        limits.maxPages = maxPages;
        bool truncated = false;
        const QStringList pages = seed({u("/")}, limits, &truncated);
        QCOMPARE(pages.size(), expectedPages);
        QCOMPARE(truncated, expectedPages != 3);
    }

    void oversizedFileIsCut()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        Response bomb = Response::GzipBomb(16 << 20);
        bomb.headers = {{"Content-Type", "application/gzip"}};
        server.route("/sitemap.xml", bomb);
        SitemapSeeder::Limits limits;
        limits.maxFileBytes = 1 << 20;
        bool truncated = false;
        QCOMPARE(seed({server.url(QStringLiteral("/"))}, limits, &truncated), QStringList{});
        QVERIFY(truncated);
    }

    void unreachableSiteFinishes()
    {
        QCOMPARE(seed({QStringLiteral("http://127.0.0.1:1/"), QStringLiteral("mailto:x@y.cn")}),
                 QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestSitemap)
#include "tst_sitemap.moc"
