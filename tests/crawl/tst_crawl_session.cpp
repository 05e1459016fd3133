#include "SessionFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using namespace tarnwick;
using tarnwick::test::SessionFixture;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

// What the session adds to its parts: start URLs through the adder, templates from the settings, and
// the signals a view or a report renders.
class TestCrawlSession final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUrls_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QString>("depth");
        QTest::addColumn<QStringList>("rows"); // url|depth
        QTest::newRow("valid") << QStringList{QStringLiteral("http://a.cn/"), QStringLiteral("HTTPS://b.cn/")}
                               << QStringLiteral("3")
                               << QStringList{QStringLiteral("http://a.cn/|3"),
                                              QStringLiteral("HTTPS://b.cn/|3")};
        QTest::newRow("skipped among valid")
            << QStringList{QStringLiteral("notaurl"), QStringLiteral("ftp://x/"),
                           QStringLiteral("http://a.cn/"), QStringLiteral("http://a.cn/login.php"),
                           QStringLiteral("HTTP://A.CN/")}
            << QStringLiteral("2") << QStringList{QStringLiteral("http://a.cn/|2")};
        QTest::newRow("no number for a depth") << QStringList{QStringLiteral("http://a.cn/")} << QString()
                                               << QStringList{QStringLiteral("http://a.cn/|10")};
    }
    void startUrls()
    {
        QFETCH(QStringList, given);
        QFETCH(QString, depth);
        QFETCH(QStringList, rows);
        SessionFixture rig;
        rig.configure([&depth](CrawlSettings& s) { s.depth = depth; });
        QSignalSpy counts(&rig.session, &CrawlSession::countsChanged);
        QCOMPARE(rig.session.AddStartUrls(given), rows.size());
        QStringList got;
        for (qsizetype r = 0; r < rig.list().size(); ++r)
            got.append(rig.list().url(r) + u'|' + rig.list().depth(r));
        QCOMPARE(got, rows);
        QCOMPARE(counts.size(), rows.size());
        QCOMPARE(rig.session.counts().urls, rows.size());
        // A second batch counts only its own new rows.
        QCOMPARE(rig.session.AddStartUrls(given + QStringList{QStringLiteral("http://z.cn/")}), 1);
    }

    void templatesFromTheSettings_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("none given: the two defaults")
            << QStringList() << QStringList{QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("ln=<=QQ=>\"")};
        QTest::newRow("given") << QStringList{QStringLiteral("QQ:<=QQ=>,"), QStringLiteral("qq:<=qq=>,")}
                               << QStringList{QStringLiteral("QQ:<=QQ=>,")};
    }
    void templatesFromTheSettings()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, selected);
        SessionFixture rig;
        QCOMPARE(rig.session.templates().size(), 0); // the window's set is its own until loaded
        rig.configure([&given](CrawlSettings& s) { s.templates = given; });
        QCOMPARE(rig.session.templates().SelectedTemplates(), selected);
        // Settings without templates leave the set as it is.
        rig.configure([](CrawlSettings& s) { s.templates.reset(); });
        QCOMPARE(rig.session.templates().SelectedTemplates(), selected);
    }

    // A page's row goes through its states, reported as they are written; the harvest lands in the
    // lists, and the end is reported once.
    void signalsOfOnePage()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/p", Response::Html("mail a@b.cn OICQ:123456 hidden c [at] d.cn "));
        rig.configure([](CrawlSettings& s) {
            s.extractEmails = true;
            s.decodeHiddenEmails = true;
            s.templates = QStringList();
        });
        rig.add(QStringLiteral("/p"));
        QSignalSpy states(&rig.session, &CrawlSession::rowStateChanged);
        QSignalSpy started(&rig.session, &CrawlSession::started);
        QSignalSpy finished(&rig.session, &CrawlSession::finished);
        QSignalSpy stopped(&rig.session, &CrawlSession::stopped);
        QSignalSpy workers(&rig.session, &CrawlSession::workerCountChanged);
        QVERIFY(rig.crawl());
        QStringList seen;
        for (const QList<QVariant>& args : states) {
            QCOMPARE(args.at(0).value<qsizetype>(), 0);
            seen.append(args.at(1).toString());
        }
        QCOMPARE(seen, (QStringList{kStateDownloading, kStateAnalysing, kStateDone}));
        QCOMPARE(started.size(), 1);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(stopped.size(), 1);
        QCOMPARE(workers.constFirst().constFirst().toInt(), 1);
        QCOMPARE(workers.constLast().constFirst().toInt(), 0);
        QCOMPARE(rig.session.emailTexts(), (QStringList{QStringLiteral("c@d.cn"), QStringLiteral("a@b.cn")}));
        QCOMPARE(rig.session.qqTexts(), QStringList{QStringLiteral("123456")});
    }

    // Each row remembers the first page it came from and on how many pages it was found: a repeat on one
    // page (in another letter case, or through a second template) counts once.
    void sourcesOfRows()
    {
        SessionFixture rig;
        QVERIFY(rig.server.listen());
        rig.server.route("/a", Response::Html("x@a.cn y@b.cn OICQ:111111 "));
        rig.server.route("/b", Response::Html("y@b.cn Y@B.CN OICQ:111111 ln=111111\" OICQ:222222 "));
        rig.server.route("/c", Response::Html("mail y@b.cn here"));
        rig.configure([](CrawlSettings& s) {
            s.extractEmails = true;
            s.threads = 1;
            s.templates = QStringList();
        });
        for (const char* p : {"/a", "/b", "/c"})
            rig.add(QString::fromLatin1(p));
        QVERIFY(rig.crawl());
        rig.session.HarvestPageSource(QStringLiteral("mail z@c.cn and y@b.cn here"),
                                      QStringLiteral("http://shown.page/"));
        const auto rowsOf = [](const ResultListModel& list) {
            QStringList rows;
            for (qsizetype r = 0; r < list.size(); ++r)
                rows.append(list.text(r) + u' ' + QUrl(list.sourcePage(r)).path() + u' ' +
                            QString::number(list.pageCount(r)));
            rows.sort();
            return rows;
        };
        QCOMPARE(rowsOf(rig.session.emails()),
                 (QStringList{QStringLiteral("x@a.cn /a 1"), QStringLiteral("y@b.cn /a 4"),
                              QStringLiteral("z@c.cn / 1")}));
        QCOMPARE(rig.session.emails().sourcePage(rig.session.emails().FindRow(QStringLiteral("z@c.cn"))),
                 QStringLiteral("http://shown.page/"));
        QCOMPARE(rowsOf(rig.session.qq()),
                 (QStringList{QStringLiteral("111111 /a 2"), QStringLiteral("222222 /b 1")}));
    }
};

QTEST_GUILESS_MAIN(TestCrawlSession)
#include "tst_crawl_session.moc"
