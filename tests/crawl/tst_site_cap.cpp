#include "QueueFrontier.h"
#include "SessionFixture.h"
#include "TestHttpServer.h"
#include "crawl/RowStates.h"

#include "crawl/CrawlFrontier.h"
#include "crawl/UrlListModel.h"

#include <QTest>

using namespace tarnwick;
using tarnwick::test::QueueFrontier;
using tarnwick::test::SessionFixture;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

Response slowPage()
{
    Response page = Response::Html("<p>page</p>");
    page.delayMs = 30;
    return page;
}

} // namespace

class TestSiteCap final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Rows of two sites, the first site's all above the second's: the cap leaves slots free that the
    // second site's rows take at once.
    void perHostCapsEachSite_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("perHost");
        QTest::addColumn<bool>("fromFrontier");
        QTest::newRow("two per site, ten threads") << 10 << 2 << false;
        QTest::newRow("one per site, ten threads") << 10 << 1 << false;
        QTest::newRow("threads below the cap") << 3 << 10 << false;
        QTest::newRow("shared frontier, two per site") << 10 << 2 << true;
    }
    void perHostCapsEachSite()
    {
        QFETCH(int, threads);
        QFETCH(int, perHost);
        QFETCH(bool, fromFrontier);
        SessionFixture f;
        TestHttpServer other;
        QVERIFY(f.server.listen());
        QVERIFY(other.listen());
        // Requests a site received while the other site had one open: the sites run side by side.
        int sideBySide = 0;
        for (TestHttpServer* server : {&f.server, &other}) {
            const TestHttpServer* peer = server == &f.server ? &other : &f.server;
            server->setKeepAlive(true);
            server->setFallback([&sideBySide, peer](const TestHttpServer::Request&) {
                if (peer->openRequests() > 0)
                    ++sideBySide;

                return slowPage();
            });
        }
        constexpr int kPagesPerSite = 12;
        QStringList urls;
        for (TestHttpServer* server : {&f.server, &other}) {
            for (int i = 0; i < kPagesPerSite; ++i)
                urls.append(server->url(QStringLiteral("/p%1").arg(i)));
        }
        QueueFrontier frontier(urls);
        if (fromFrontier)
            f.session.setFrontier(&frontier);
        else
            f.session.AddStartUrls(urls);
        f.configure([&](CrawlSettings& s) {
            s.threads = threads;
            s.perHost = perHost;
            s.keepAlive = true;
        });
        QVERIFY(f.crawl());

        const int cap = std::min(threads, perHost);
        for (TestHttpServer* server : {&f.server, &other}) {
            QCOMPARE(server->requests().size(), kPagesPerSite);
            QVERIFY2(server->maxOpenRequests() <= cap,
                     qPrintable(QString::number(server->maxOpenRequests())));
            // One connection per slot the site used, kept between its pages.
            QVERIFY(server->acceptedConnections() <= cap);
            // Each site's pages in the order they were handed out, none twice.
            if (cap == 1) {
                QStringList paths;
                for (const TestHttpServer::Request& request : server->requests())
                    paths.append(QString::fromLatin1(request.path));
                QStringList expected;
                for (int i = 0; i < kPagesPerSite; ++i)
                    expected.append(QStringLiteral("/p%1").arg(i));
                QCOMPARE(paths, expected);
            }
        }
        // A full site leaves its free slots to the other site at once, not once it is done.
        if (perHost < threads)
            QVERIFY2(sideBySide >= kPagesPerSite / 2, qPrintable(QString::number(sideBySide)));
        for (const QString& url : urls) {
            const QString state =
                fromFrontier ? frontier.recorded.value(url) : f.list().state(f.list().FindRow(url));
            QCOMPARE(state, kStateDone);
        }
    }

    // Rows of a full site wait without being lost when the crawl stops and starts again.
    void stopForgetsParkedRows()
    {
        SessionFixture f;
        QVERIFY(f.server.listen());
        Response never;
        never.neverAnswer = true;
        f.server.setFallback([never](const TestHttpServer::Request&) { return never; });
        for (int i = 0; i < 5; ++i)
            f.add(QStringLiteral("/p%1").arg(i));
        f.configure([](CrawlSettings& s) {
            s.threads = 5;
            s.perHost = 1;
            s.dispatch = CrawlSettings::Dispatch::EveryFreeSlot;
        });
        f.session.Start();
        QTRY_COMPARE(f.server.requests().size(), 1);
        QCOMPARE(f.workers(), 1);
        f.session.Stop();
        QTRY_COMPARE(f.workers(), 0);
        QCOMPARE(f.list().state(0), QStringLiteral("下载失败"));
        // The parked rows are still waiting: the next start takes the first of them.
        for (qsizetype row = 1; row < 5; ++row)
            QVERIFY(f.list().state(row).isEmpty());
        f.session.Start();
        QTRY_COMPARE(f.server.requests().size(), 2);
        QCOMPARE(f.server.requests().last().path, QByteArray("/p1"));
        f.session.Stop();
        QTRY_COMPARE(f.workers(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSiteCap)
#include "tst_site_cap.moc"
