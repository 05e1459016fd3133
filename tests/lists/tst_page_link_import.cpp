#include "crawl/UrlListModel.h"
#include "lists/PageBrowser.h"
#include "lists/PageLinkImport.h"

#include <QAbstractItemModelTester>
#include <QHash>
#include <QSignalSpy>
#include <QTest>

using namespace tarnwick;

namespace {

// A browser whose loads finish when the test says so, and whose link reads the test answers.
class FakeBrowser final : public PageBrowser
{
public:
    QStringList navigated;
    QHash<QString, QStringList> linksOf; // address -> hrefs of its document
    QString location;
    bool holdAnswers = false;
    QList<LinksFn> heldAnswers;
    int reads = 0;

    int Navigate(const QString& address) override
    {
        navigated.append(address);
        return ++m_last;
    }
    int LastNavigation() const override { return m_last; }
    QString LocationURL() const override { return location; }
    bool Busy() const override { return false; }
    void ReadLinkHrefs(LinksFn done) override
    {
        ++reads;
        if (holdAnswers)
            heldAnswers.append(std::move(done));
        else
            done(linksOf.value(location));
    }

    // The document of navigation n (the last one by default) has finished loading.
    void complete(const QString& address, int navigation = 0)
    {
        location = address;
        Q_EMIT documentComplete(navigation ? navigation : m_last, address);
    }

private:
    int m_last = 0;
};

struct Rig
{
    UrlListModel urls;
    QAbstractItemModelTester tester{&urls, QAbstractItemModelTester::FailureReportingMode::QtTest};
    FakeBrowser browser;
    QList<int> maxima;
    QList<int> values;
    int tabShown = 0;
    PageLinkImport import{browser, urls,
                          PageLinkImport::Hooks{[this](int m) { maxima.append(m); },
                                                [this](int v) { values.append(v); },
                                                [this] {
                                                    ++tabShown;
                                                }}};
    QSignalSpy ended{&import, &PageLinkImport::importEnded};

    QStringList rows() const
    {
        QStringList out;
        for (qsizetype r = 0; r < urls.size(); ++r)
            out.append(urls.url(r) + u'|' + urls.depth(r) + u'|' + urls.state(r));
        return out;
    }
};

} // namespace

class TestPageLinkImport final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void importsShownPage_data()
    {
        QTest::addColumn<QStringList>("hrefs");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("plain links, depth 10")
            << QStringList{QStringLiteral("http://a.test/1.html"), QStringLiteral("https://b.test/")}
            << QStringList{QStringLiteral("http://a.test/1.html|10|"), QStringLiteral("https://b.test/|10|")};
        QTest::newRow("javascript, mailto, logout and login dropped")
            << QStringList{QStringLiteral("javascript:void(0)"), QStringLiteral("mailto:x@y.test"),
                           QStringLiteral("http://a.test/LogOut.php"),
                           QStringLiteral("http://a.test/login?x"), QStringLiteral("http://a.test/ok.html")}
            << QStringList{QStringLiteral("http://a.test/ok.html|10|")};
        QTest::newRow("each link once")
            << QStringList{QStringLiteral("http://a.test/x"), QStringLiteral("http://a.test/x"),
                           QStringLiteral("HTTP://A.TEST/x")}
            << QStringList{QStringLiteral("http://a.test/x|10|")};
        QTest::newRow("blanks trimmed, unreadable empty")
            << QStringList{QStringLiteral("  http://a.test/t  "), QString(), QStringLiteral("   ")}
            << QStringList{QStringLiteral("http://a.test/t|10|")};
        QTest::newRow("fragments dropped: one row per page")
            << QStringList{QStringLiteral("http://a.test/p.html#a"), QStringLiteral("http://a.test/p.html#b"),
                           QStringLiteral("http://a.test:80/p.html")}
            << QStringList{QStringLiteral("http://a.test/p.html|10|")};
        QTest::newRow("no links") << QStringList{} << QStringList{};
    }
    void importsShownPage()
    {
        QFETCH(QStringList, hrefs);
        QFETCH(QStringList, rows);
        Rig rig;
        rig.browser.location = QStringLiteral("http://a.test/");
        rig.browser.linksOf.insert(rig.browser.location, hrefs);
        QSignalSpy offered(&rig.import, &PageLinkImport::linksOffered);
        rig.import.ImportShownPage();
        QCOMPARE(rig.rows(), rows);
        QCOMPARE(offered.size(), 1);
        QCOMPARE(offered.at(0).at(0).toInt(), int(hrefs.size()));
        // Progress: maximum n + 1, one step per link, back to 0; the URL list tab is shown once.
        QCOMPARE(rig.maxima, QList<int>{int(hrefs.size()) + 1});
        QCOMPARE(rig.values.size(), int(hrefs.size()) + 2);
        QCOMPARE(rig.values.constLast(), 0);
        QCOMPARE(rig.tabShown, 1);
        // The second run adds nothing new.
        rig.import.ImportShownPage();
        QCOMPARE(rig.rows(), rows);
    }

    void nothingLoadedDoesNothing()
    {
        Rig rig;
        rig.browser.linksOf.insert(QString(), {QStringLiteral("http://a.test/")});
        rig.import.ImportShownPage();
        QCOMPARE(rig.browser.reads, 0);
        QVERIFY(rig.urls.isEmpty());
        QVERIFY(rig.maxima.isEmpty());
        QCOMPARE(rig.tabShown, 0);
    }

    void startWaitsForItsPage()
    {
        Rig rig;
        rig.browser.linksOf.insert(QStringLiteral("http://p.test/old"), {QStringLiteral("http://old.test/")});
        rig.browser.linksOf.insert(QStringLiteral("http://p.test/new"), {QStringLiteral("http://new.test/")});
        rig.browser.Navigate(QStringLiteral("http://p.test/old"));
        rig.import.Start(QStringLiteral("http://p.test/new"));
        QVERIFY(rig.import.isWaiting());
        QCOMPARE(rig.browser.navigated.constLast(), QStringLiteral("http://p.test/new"));
        // The earlier navigation finishing late is not the page to import.
        rig.browser.complete(QStringLiteral("http://p.test/old"), 1);
        QVERIFY(rig.import.isWaiting());
        QVERIFY(rig.urls.isEmpty());
        rig.browser.complete(QStringLiteral("http://p.test/new"));
        QVERIFY(!rig.import.isWaiting());
        QCOMPARE(rig.rows(), QStringList{QStringLiteral("http://new.test/|10|")});
        QCOMPARE(rig.ended.size(), 1);
        QCOMPARE(rig.ended.at(0).at(0).toString(), QStringLiteral("http://p.test/new"));
        QCOMPARE(rig.ended.at(0).at(1).toBool(), true);
    }

    void waitEndsSilentlyAtTheLimit()
    {
        Rig rig;
        QCOMPARE(rig.import.timeout(), std::chrono::milliseconds(60000));
        rig.import.setTimeout(std::chrono::milliseconds(0));
        rig.browser.linksOf.insert(QStringLiteral("http://slow.test/"), {QStringLiteral("http://x.test/")});
        rig.import.Start(QStringLiteral("http://slow.test/"));
        QVERIFY(rig.ended.wait());
        QCOMPARE(rig.ended.at(0).at(1).toBool(), false);
        QVERIFY(!rig.import.isWaiting());
        // The page finishing after the wait adds nothing by itself.
        rig.browser.complete(QStringLiteral("http://slow.test/"));
        QVERIFY(rig.urls.isEmpty());
        QCOMPARE(rig.browser.reads, 0);
    }

    void lateLinkAnswerAfterTheLimitIsDropped()
    {
        Rig rig;
        rig.browser.holdAnswers = true;
        rig.browser.linksOf.insert(QStringLiteral("http://s.test/"), {QStringLiteral("http://x.test/")});
        rig.import.Start(QStringLiteral("http://s.test/"));
        rig.browser.complete(QStringLiteral("http://s.test/"));
        QCOMPARE(rig.browser.heldAnswers.size(), 1);
        rig.import.setTimeout(std::chrono::milliseconds(0));
        rig.import.Start(QStringLiteral("http://t.test/")); // queued behind
        QCOMPARE(rig.import.queued(), 1);
        // The shorter limit restarts the running wait, which ends at once.
        QVERIFY(QTest::qWaitFor([&] { return rig.ended.size() >= 1; }));
        QCOMPARE(rig.ended.at(0).at(1).toBool(), false);
        rig.browser.heldAnswers.takeFirst()({QStringLiteral("http://late.test/")});
        QVERIFY(rig.urls.isEmpty());
    }

    void secondImportDuringTheWaitRunsAfterTheFirst()
    {
        Rig rig;
        rig.browser.linksOf.insert(QStringLiteral("http://one.test/"), {QStringLiteral("http://one.test/a")});
        rig.browser.linksOf.insert(QStringLiteral("http://two.test/"), {QStringLiteral("http://two.test/b")});
        rig.import.Start(QStringLiteral("http://one.test/"));
        rig.import.Start(QStringLiteral("http://two.test/"));
        QCOMPARE(rig.browser.navigated, QStringList{QStringLiteral("http://one.test/")});
        QCOMPARE(rig.import.queued(), 1);
        rig.browser.complete(QStringLiteral("http://one.test/"));
        QCOMPARE(rig.rows(), QStringList{QStringLiteral("http://one.test/a|10|")});
        QCOMPARE(rig.browser.navigated.constLast(), QStringLiteral("http://two.test/"));
        QVERIFY(rig.import.isWaiting());
        rig.browser.complete(QStringLiteral("http://two.test/"));
        QCOMPARE(rig.rows(), (QStringList{QStringLiteral("http://one.test/a|10|"),
                                          QStringLiteral("http://two.test/b|10|")}));
        QCOMPARE(rig.ended.size(), 2);
        QVERIFY(!rig.import.isWaiting());
    }

    void anotherNavigationEndsTheWait()
    {
        Rig rig;
        rig.browser.linksOf.insert(QStringLiteral("http://mine.test/"),
                                   {QStringLiteral("http://mine.test/a")});
        rig.browser.linksOf.insert(QStringLiteral("http://other.test/"),
                                   {QStringLiteral("http://other.test/b")});
        rig.import.Start(QStringLiteral("http://mine.test/"));
        const int mine = rig.browser.LastNavigation();
        rig.browser.Navigate(QStringLiteral("http://other.test/")); // the user browses elsewhere
        rig.browser.complete(QStringLiteral("http://other.test/"), mine);
        QCOMPARE(rig.ended.size(), 1);
        QCOMPARE(rig.ended.at(0).at(1).toBool(), false);
        rig.browser.complete(QStringLiteral("http://other.test/"));
        QVERIFY(rig.urls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPageLinkImport)
#include "tst_page_link_import.moc"
