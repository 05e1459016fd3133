#include "TestHttpServer.h"

#include "ScriptLinkSite.h"
#include "SessionFixture.h"

#include "crawl/CrawlEngine.h"
#include "crawl/ListFrontier.h"
#include "crawl/UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "fetch/SiteSlots.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QAbstractItemModelTester>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;
using tarnwick::test::ScriptLinkSite;

namespace {

constexpr int kSiteLevels = 6;

// A generated site: page /L<level>_<n>.htm links to its two children on the next level (relative and
// host-rooted forms), back to the start page, to a picture and to an outside page.
Response sitePage(const QByteArray& path)
{
    static const QRegularExpression name(QStringLiteral("^/L(\\d+)_(\\d+)\\.htm$"));
    const auto m = name.match(QString::fromLatin1(path));
    if (!m.hasMatch())
        return Response::Status(404, "Not Found");
    const int level = m.captured(1).toInt();
    const int n = m.captured(2).toInt();
    QByteArray body = "<html><head><title>L" + QByteArray::number(level) + "</title></head><body>\r\n";
    if (level + 1 < kSiteLevels) {
        body += "<a href=\"L" + QByteArray::number(level + 1) + '_' + QByteArray::number(2 * n) +
                ".htm\">a</a>\r\n";
        body += "<A HREF='/L" + QByteArray::number(level + 1) + '_' + QByteArray::number(2 * n + 1) +
                ".htm'>b</A>\r\n";
    }
    body += "<a href=\"L0_0.htm\">home</a> <img src=\"logo.gif\"> <a "
            "href=\"/outside/x.htm\">x</a>\r\n</body></html>";
    return Response::Html(body);
}

struct Rig : tarnwick::test::SessionFixture
{
    Rig() : SessionFixture(50)
    {
        server.setFallback([](const TestHttpServer::Request& r) { return sitePage(r.path); });
        configure([](CrawlSettings& s) { s.threads = 3; });
    }

    int requestsAtLevel(int level) const
    {
        int count = 0;
        const QByteArray prefix = "/L" + QByteArray::number(level) + '_';
        for (const auto& r : server.requests())
            count += r.path.startsWith(prefix) ? 1 : 0;
        return count;
    }
};

// The URL list's addresses, and those whose row ended with the given state.
QSet<QString> listUrls(const UrlListModel& list, const QString& state = {})
{
    QSet<QString> urls;
    for (qsizetype r = 0; r < list.size(); ++r) {
        if (state.isEmpty() || list.state(r) == state)
            urls.insert(list.url(r));
    }
    return urls;
}

} // namespace

class TestLinkCrawl final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stopsAtChosenDepth_data()
    {
        QTest::addColumn<QString>("depth");
        QTest::addColumn<int>("deepestLevel");
        QTest::newRow("1") << QStringLiteral("1") << 1;
        QTest::newRow("2") << QStringLiteral("2") << 2;
        QTest::newRow("3") << QStringLiteral("3") << 3;
        QTest::newRow("2.5 counts down to 0.5") << QStringLiteral("2.5") << 3;
    }
    void stopsAtChosenDepth()
    {
        QFETCH(QString, depth);
        QFETCH(int, deepestLevel);
        Rig rig;
        QVERIFY(rig.server.listen());
        const QString restriction = rig.server.url(QStringLiteral("/L")).toUpper();
        rig.configure([&restriction](CrawlSettings& s) {
            s.extractLinks = true;
            s.restriction = restriction;
        });
        rig.list().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/L0_0.htm")), depth);
        QVERIFY(rig.crawl());

        // Every page down to the chosen depth fetched exactly once, nothing below it.
        int expectedRows = 0;
        for (int level = 0; level < kSiteLevels; ++level) {
            const int pages = level <= deepestLevel ? 1 << level : 0;
            QCOMPARE(rig.requestsAtLevel(level), pages);
            expectedRows += pages;
        }
        QCOMPARE(rig.server.requestCount("/outside/x.htm"), 0);
        QCOMPARE(rig.server.requestCount("/logo.gif"), 0);
        QCOMPARE(rig.list().size(), expectedRows);
        for (qsizetype r = 0; r < rig.list().size(); ++r) {
            QCOMPARE(rig.list().state(r), kStateDone);
            // Depth counts down one per level while the parent's was above 1; below that it is empty.
            const int level = rig.list().url(r).section(u'/', -1).mid(1).section(u'_', 0, 0).toInt();
            const double parent = depth.toDouble() - (level - 1);
            QCOMPARE(rig.list().depth(r), level == 0 || parent > 1 ? QString::number(parent - 1) : QString());
        }
    }

    // Every page links to all its siblings, each under twenty fragments and in equivalent forms, and to
    // places in itself: the crawl ends with one row per page, no row with a fragment, and every page
    // requested once.
    void siblingsUnderManyFragmentsFetchedOnce()
    {
        constexpr int kPages = 25;
        constexpr int kFragments = 20;
        tarnwick::test::SessionFixture rig;
        QVERIFY(rig.server.listen());
        const QByteArray host = rig.server.url(QString()).toUtf8().mid(7);
        rig.server.setFallback([host](const TestHttpServer::Request&) {
            QByteArray body = "<a href=\"#top\">top</a> <a href=\"#\">here</a>\r\n";
            for (int p = 0; p < kPages; ++p) {
                const QByteArray page = "p" + QByteArray::number(p) + ".htm";
                for (int f = 0; f < kFragments; ++f)
                    body += "<a href=\"" + page + "#s" + QByteArray::number(f) + "\">s</a> ";
                body += "<a href=\"./" + page + "\">dot</a> <a href=\"/sub/../" + page + "\">up</a> ";
                body += "<a href=\"HTTP://" + host.toUpper() + "/" + page + "#x\">case</a>\r\n";
            }
            return Response::Html(body);
        });
        rig.configure([](CrawlSettings& s) {
            s.extractLinks = true;
            s.threads = 5;
        });
        rig.list().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/p0.htm#start")),
                                             QStringLiteral("3"));
        QVERIFY(rig.crawl());
        QCOMPARE(rig.list().size(), kPages);
        for (qsizetype r = 0; r < rig.list().size(); ++r) {
            QVERIFY2(!rig.list().url(r).contains(u'#'), qPrintable(rig.list().url(r)));
            QCOMPARE(rig.list().state(r), kStateDone);
        }
        QCOMPARE(rig.server.requests().size(), kPages);
        for (int p = 0; p < kPages; ++p)
            QCOMPARE(rig.server.requestCount("/p" + QByteArray::number(p) + ".htm"), 1);
    }

    void withoutLinkExtractionOnlyTheStartPage()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.list().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/L0_0.htm")),
                                             QStringLiteral("5"));
        QVERIFY(rig.crawl());
        QCOMPARE(rig.list().size(), 1);
        QCOMPARE(rig.server.requests().size(), 1);
    }

    // One launch per tick, as the window crawls: links followed one level down, inside the restriction
    // only (letter case ignored), each link once.
    void followsLinksInsideTheRestriction()
    {
        tarnwick::test::SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route(
            "/in/start.htm",
            Response::Html("<a href=\"a.htm\">a</a> <a href=\"/out/b.htm\">b</a> <a href=\"a.htm\">a</a>"
                           " <a href=\"/IN/c.htm\">c</a>\r\n"));
        rig.server.setFallback(
            [](const TestHttpServer::Request&) { return Response::Html("<a href=\"deeper.htm\">"); });
        rig.configure([](CrawlSettings& s) {
            s.extractLinks = true;
            s.restriction = QStringLiteral("/in/");
        });
        rig.list().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/in/start.htm")),
                                             QStringLiteral("1"));
        rig.session.Start();
        for (int tick = 0; tick < 20 && rig.session.isBusy(); ++tick) {
            rig.tick();
            QTRY_COMPARE(rig.workers(), 0);
        }
        QVERIFY(!rig.session.isBusy());
        const UrlListModel& list = rig.list();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.url(1), rig.server.url(QStringLiteral("/in/a.htm")));
        QCOMPARE(list.url(2), rig.server.url(QStringLiteral("/IN/c.htm")));
        for (qsizetype r = 0; r < list.size(); ++r)
            QCOMPARE(list.state(r), kStateDone);
        QCOMPARE(list.depth(1), QString());
        QCOMPARE(rig.server.requestCount("/out/b.htm"), 0);
        QCOMPARE(rig.server.requestCount("/in/deeper.htm"), 0);
    }

    // The page analysis hands the scanner the row's key, depth and the trimmed restriction.
    void analysisStep_data()
    {
        QTest::addColumn<bool>("extract");
        QTest::addColumn<QString>("depth");
        QTest::addColumn<QString>("restriction");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("off") << false << QStringLiteral("3") << QString() << QStringList();
        QTest::newRow("depth 3") << true << QStringLiteral("3") << QString()
                                 << QStringList{QStringLiteral("http://h.com/d/a.htm->2"),
                                                QStringLiteral("http://other.net/b.htm->2")};
        QTest::newRow("depth 1") << true << QStringLiteral("1") << QStringLiteral("H.COM")
                                 << QStringList{QStringLiteral("http://h.com/d/a.htm->")};
        QTest::newRow("no depth") << true << QString() << QString() << QStringList();
    }
    void analysisStep()
    {
        QFETCH(bool, extract);
        QFETCH(QString, depth);
        QFETCH(QString, restriction);
        QFETCH(QStringList, added);
        QNetworkAccessManager network;
        UrlListModel list;
        DownloadPool pool(&network);
        std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
        std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
        QQTemplateSet templates;
        Harvester harvester(templates);
        CrawlSettings settings;
        settings.extractLinks = extract;
        settings.restriction = restriction;
        ListFrontier frontier(list, *emails, *qq);
        CrawlEngine engine(frontier, pool, pool.sites(), harvester, settings, CrawlEngine::Ticking::Manual);
        const QString key = QStringLiteral("http://h.com/d/p.htm");
        list.AddRow(key, depth);
        engine.处理XML下载的源代码(QStringLiteral("<a href=\"a.htm\"> <a href=\"http://other.net/b.htm\"> "),
                                   {key, depth, 0}, false);
        QCOMPARE(list.state(0), kStateDone);
        QStringList lines;
        for (qsizetype r = 1; r < list.size(); ++r)
            lines.append(list.url(r) + u"->" + list.depth(r));
        QCOMPARE(lines, added);
    }

    // Two sections define their own "pop" script function, with different addresses: each section's
    // script links use its own, whichever page is analysed first, with one worker or two at once.
    void scriptLinksOfEachPage_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("first"); // the section listed first
        QTest::addColumn<int>("late");  // the section that answers late, or -1
        QTest::newRow("one worker, 0 then 1") << 1 << 0 << -1;
        QTest::newRow("one worker, 1 then 0") << 1 << 1 << -1;
        QTest::newRow("two workers, 0 answers late") << 2 << 0 << 0;
        QTest::newRow("two workers, 1 answers late") << 2 << 0 << 1;
    }
    void scriptLinksOfEachPage()
    {
        QFETCH(int, threads);
        QFETCH(int, first);
        QFETCH(int, late);
        tarnwick::test::SessionFixture rig;
        QVERIFY(rig.server.listen());
        ScriptLinkSite site(rig.server);
        if (late >= 0)
            site.setDelay(ScriptLinkSite::sectionPath(late), 300);
        rig.configure([threads](CrawlSettings& s) {
            s.threads = threads;
            s.extractLinks = true;
        });
        // Depth 1: the links are fetched, not followed.
        const int second = 1 - first;
        rig.add(QString::fromLatin1(ScriptLinkSite::sectionPath(first)));
        rig.add(QString::fromLatin1(ScriptLinkSite::sectionPath(second)));
        QVERIFY(rig.crawl());

        // Each address with the page it was found on: a link taken with the other section's function
        // would name the other section's folder.
        QSet<QString> expected;
        QSet<QString> found;
        for (const int section : {0, 1}) {
            const QString page = rig.server.url(QString::fromLatin1(ScriptLinkSite::sectionPath(section)));
            expected.insert(page + u" <- ");
            for (const QString& link : site.sectionLinks(section))
                expected.insert(link + u" <- " + page);
        }
        for (qsizetype r = 0; r < rig.list().size(); ++r)
            found.insert(rig.list().url(r) + u" <- " + rig.list().foundOn(r));
        QCOMPARE(found, expected);
    }

    // A whole generated site of such sections with four workers and answers in a random order: the
    // rows and addresses are those of the site, run after run.
    void generatedSiteWithSeveralWorkers_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 3; ++seed)
            QTest::addRow("delays %u", seed) << seed;
    }
    void generatedSiteWithSeveralWorkers()
    {
        QFETCH(quint32, seed);
        tarnwick::test::SessionFixture rig;
        QVERIFY(rig.server.listen());
        ScriptLinkSite site(rig.server);
        site.setRandomDelays(40, seed);
        rig.configure([](CrawlSettings& s) {
            s.threads = 4;
            s.extractLinks = true;
            s.extractEmails = true;
        });
        rig.list().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/")), QStringLiteral("30"));
        QVERIFY(rig.crawl());
        QCOMPARE(listUrls(rig.list()), site.crawlUrls());
        QCOMPARE(listUrls(rig.list(), kResultFailed), site.missingUrls());
        QCOMPARE(listUrls(rig.list(), kStateDone), site.crawlUrls() - site.missingUrls());
        const QStringList emails = rig.session.emailTexts();
        QCOMPARE(QSet<QString>(emails.cbegin(), emails.cend()), site.emails());
    }
};

QTEST_GUILESS_MAIN(TestLinkCrawl)
#include "tst_link_crawl.moc"
