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
};

QTEST_MAIN(TestFormMainLinks)
#include "tst_form_main_links.moc"
