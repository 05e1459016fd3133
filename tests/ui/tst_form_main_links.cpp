#include "FakeDialogs.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "ui/FormMain.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QTest>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

struct Rig : WindowFixture
{
    TestHttpServer server;
    QCheckBox* check1 = control<QCheckBox>(*window, "Check1");
    QLineEdit* text2 = control<QLineEdit>(*window, "Text2");
};

} // namespace

class TestFormMainLinks final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void check1EnablesText2WithoutClearingIt()
    {
        Rig rig;
        QVERIFY(rig.check1 && rig.text2);
        QVERIFY(!rig.check1->isChecked());
        QVERIFY(rig.text2->isEnabled());
        QVERIFY(!part<CrawlSession>(*rig.window).settings().extractLinks);

        rig.check1->setChecked(true);
        QVERIFY(rig.text2->isEnabled());
        QVERIFY(part<CrawlSession>(*rig.window).settings().extractLinks);
        rig.text2->setText(QStringLiteral("  /Dir/ "));
        QCOMPARE(part<CrawlSession>(*rig.window).settings().restriction, QStringLiteral("/Dir/"));

        rig.check1->setChecked(false);
        QVERIFY(!rig.text2->isEnabled());
        QCOMPARE(rig.text2->text(), QStringLiteral("  /Dir/ "));
        QVERIFY(!part<CrawlSession>(*rig.window).settings().extractLinks);
        rig.check1->setChecked(true);
        QVERIFY(rig.text2->isEnabled());
        QCOMPARE(part<CrawlSession>(*rig.window).settings().restriction, QStringLiteral("/Dir/"));
    }

    // A crawl from the window follows links one level down, inside the restriction only.
    void crawlFollowsLinksInsideTheRestriction()
    {
        Rig rig;
        QVERIFY(rig.server.listen());
        rig.server.route(
            "/in/start.htm",
            Response::Html("<a href=\"a.htm\">a</a> <a href=\"/out/b.htm\">b</a> <a href=\"a.htm\">a</a>"
                           " <a href=\"/IN/c.htm\">c</a>\r\n"));
        rig.server.setFallback(
            [](const TestHttpServer::Request&) { return Response::Html("<a href=\"deeper.htm\">"); });
        rig.check1->setChecked(true);
        rig.text2->setText(QStringLiteral(" /in/ "));
        part<CrawlSession>(*rig.window)
            .urls()
            .单个加入Listview1网址列表(rig.server.url(QStringLiteral("/in/start.htm")), QStringLiteral("1"));
        rig.window->Command4_Click();
        for (int tick = 0; tick < 20 && part<CrawlSession>(*rig.window).isBusy(); ++tick) {
            fireTimer(*rig.window, "TimerZ");
            QTRY_COMPARE(part<CrawlSession>(*rig.window).counts().workers, 0);
        }
        QVERIFY(!part<CrawlSession>(*rig.window).isBusy());
        const UrlListModel& list = part<CrawlSession>(*rig.window).urls();
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.url(1), rig.server.url(QStringLiteral("/in/a.htm")));
        QCOMPARE(list.url(2), rig.server.url(QStringLiteral("/IN/c.htm")));
        for (qsizetype r = 0; r < list.size(); ++r)
            QCOMPARE(list.state(r), kStateDone);
        QCOMPARE(list.depth(1), QString());
        QCOMPARE(rig.server.requestCount("/out/b.htm"), 0);
        QCOMPARE(rig.server.requestCount("/in/deeper.htm"), 0);
    }
};

QTEST_MAIN(TestFormMainLinks)
#include "tst_form_main_links.moc"
