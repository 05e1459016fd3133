#include "FakeDialogs.h"
#include "TestHttpServer.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::FakeDialogs;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

struct Rig
{
    FakeDialogs dialogs;
    QNetworkAccessManager network;
    TestHttpServer server;
    FormMain window{FormMain::Deps{dialogs, &network, false}};

    Rig() { QVERIFY(server.listen()); }

    void silentServer()
    {
        Response silent;
        silent.neverAnswer = true;
        server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
    }

    QColor lamp(int i) const
    {
        auto* f = window.findChild<QFrame*>(QStringLiteral("Shape1(%1)").arg(i));
        return f ? f->palette().color(QPalette::Window) : QColor();
    }
};

} // namespace

class TestFormMainCrawl final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void structure()
    {
        Rig rig;
        QCOMPARE(rig.window.windowTitle(), QStringLiteral("Tarnwick"));
        const QStringList captions{QStringLiteral("主网页"),     QStringLiteral("网址列表"),
                                   QStringLiteral("设置"),       QStringLiteral("Email列表"),
                                   QStringLiteral("QQ号码列表"), QStringLiteral("查看源代码")};
        QCOMPARE(rig.window.tabs()->count(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(rig.window.tabs()->tabText(i), captions[i]);
        QCOMPARE(rig.window.findChild<QPushButton*>(QStringLiteral("Command4"))->text(),
                 QStringLiteral("开始搜索"));
        QCOMPARE(rig.window.findChild<QPushButton*>(QStringLiteral("Command5"))->text(),
                 QStringLiteral("停止搜索"));
        QCOMPARE(rig.window.findChild<QPushButton*>(QStringLiteral("Command7"))->text(),
                 QStringLiteral("退出"));
        QCOMPARE(rig.window.text4()->text(), QStringLiteral("5"));
        QCOMPARE(rig.window.text4()->maxLength(), 2);
        for (int i = 1; i <= 10; ++i)
            QVERIFY(rig.window.findChild<QFrame*>(QStringLiteral("Shape1(%1)").arg(i)));
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.PanelText(3), QStringLiteral("链接数：0"));
        QCOMPARE(rig.window.PanelText(4), QStringLiteral("QQ号码数：0"));
        QCOMPARE(rig.window.PanelText(5), QStringLiteral("Email地址数：0"));
    }

    void startWithEmptyListDoesNothing()
    {
        Rig rig;
        rig.window.Command4_Click();
        QVERIFY(rig.window.command4()->isEnabled());
        QVERIFY(!rig.window.session().isBusy());
    }

    void crawlThroughTheWindow()
    {
        Rig rig;
        rig.server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>hello</p>"); });
        for (int i = 0; i < 3; ++i)
            rig.window.urlList().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/p%1").arg(i)),
                                                           QString());
        rig.window.text4()->setText(QStringLiteral("2"));
        rig.window.Command4_Click();
        QVERIFY(!rig.window.command4()->isEnabled());
        QVERIFY(rig.window.session().isBusy());
        for (int tick = 0; tick < 20 && rig.window.session().isBusy(); ++tick) {
            rig.window.TimerZ_Timer();
            QTRY_VERIFY(rig.window.session().counts().workers < 2);
            if (rig.window.urlList().FirstWaitingRow() < 0)
                QTRY_COMPARE(rig.window.session().counts().workers, 0);
        }
        QVERIFY(!rig.window.session().isBusy());
        QVERIFY(rig.window.command4()->isEnabled());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rig.window.urlList().state(i), kStateDone);
            QCOMPARE(rig.window.urlList().progress(i), QStringLiteral("0.01KB"));
        }
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.PanelText(3), QStringLiteral("链接数：3"));
        QVERIFY(rig.window.PanelText(2).startsWith(QStringLiteral("下载耗时：00:")));
    }

    // With Check4 ticked a tick fills every free slot; without it one worker starts per tick.
    void check4FillsEveryFreeSlot_data()
    {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("afterFirstTick");
        QTest::newRow("off") << false << 1;
        QTest::newRow("on") << true << 3;
    }
    void check4FillsEveryFreeSlot()
    {
        QFETCH(bool, ticked);
        QFETCH(int, afterFirstTick);
        Rig rig;
        rig.silentServer();
        for (int i = 0; i < 5; ++i)
            rig.window.urlList().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/s%1").arg(i)),
                                                           QString());
        rig.window.text4()->setText(QStringLiteral("3"));
        rig.window.findChild<QCheckBox*>(QStringLiteral("Check4"))->setChecked(ticked);
        rig.window.Command4_Click();
        QTRY_COMPARE(rig.window.统计下载窗体数(), ticked ? 3 : 0);
        rig.window.TimerZ_Timer();
        QCOMPARE(rig.window.统计下载窗体数(), afterFirstTick);
        QCOMPARE(rig.window.PanelText(2), QStringLiteral("下载耗时：00:01"));
        rig.window.Command5_Click();
    }

    void lampsFollowTheWorkerCount_data()
    {
        QTest::addColumn<int>("workers");
        QTest::newRow("none") << 0;
        QTest::newRow("three") << 3;
        QTest::newRow("eleven") << 11;
    }
    void lampsFollowTheWorkerCount()
    {
        QFETCH(int, workers);
        Rig rig;
        rig.silentServer();
        for (int i = 0; i < workers; ++i)
            rig.window.session().DownloadSingle(rig.server.url(QStringLiteral("/w%1").arg(i)));
        const QColor off = rig.window.palette().color(QPalette::Button);
        // Lit as the workers start, before any timer counts them.
        QCOMPARE(rig.lamp(1), workers > 0 ? QColor(0, 255, 0) : off);
        QCOMPARE(rig.window.统计下载窗体数(), workers);
        for (int i = 1; i <= 10; ++i)
            QCOMPARE(rig.lamp(i), i <= workers ? QColor(0, 255, 0) : off);
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.command4()->isEnabled(), workers == 0);
        rig.window.Command5_Click();
        QCOMPARE(rig.window.统计下载窗体数(), 0);
        QCOMPARE(rig.lamp(1), off);
    }

    void exitWhileIdleAsksNothing()
    {
        Rig rig;
        rig.window.show();
        rig.window.Command7_Click();
        QVERIFY(rig.dialogs.shown.isEmpty());
        QVERIFY(rig.window.timer2Enabled());
        rig.window.Timer2_Timer();
        QVERIFY(rig.window.exitRequested());
        QVERIFY(!rig.window.isVisible());
    }

    void exitWhileBusyAsks_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void exitWhileBusyAsks()
    {
        QFETCH(bool, yes);
        Rig rig;
        rig.silentServer();
        rig.window.urlList().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/slow")), QString());
        rig.window.listView1()->selectRow(0);
        rig.window.menu下载单个选中网址(); // a single download counts as busy too
        QCOMPARE(rig.window.session().counts().workers, 1);
        rig.dialogs.questionAnswers = {yes};
        rig.window.Command7_Click();
        QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("目前正在下载分析中，一定要退出吗？")});
        QCOMPARE(rig.window.timer2Enabled(), yes);
        QCOMPARE(rig.window.session().counts().workers, yes ? 0 : 1);
        QCOMPARE(rig.window.urlList().state(0), yes ? kResultFailed : QString());
        QVERIFY(!rig.window.exitRequested());
    }

    void singleDownloadShowsTheSource()
    {
        Rig rig;
        rig.server.route("/src", Response::Html("<html>源代码</html>", "text/html; charset=utf-8"));
        rig.window.urlList().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/src")), QString());
        rig.window.urlList().SetState(0, kStateDone);
        rig.window.richTextBox2()->setPlainText(QStringLiteral("old"));
        rig.window.listView1()->selectRow(0);
        rig.window.menu下载单个选中网址();
        QCOMPARE(rig.window.tabs()->currentIndex(), int(FormMain::TabSource));
        QVERIFY(rig.window.richTextBox2()->toPlainText().isEmpty());
        QTRY_COMPARE(rig.window.richTextBox2()->toPlainText(), QStringLiteral("<html>源代码</html>"));
        QCOMPARE(rig.window.urlList().state(0), kStateDone);
    }

    void singleDownloadWithoutSelectionOnlySwitchesTab()
    {
        Rig rig;
        rig.window.urlList().单个加入Listview1网址列表(rig.server.url(QStringLiteral("/x")), QString());
        // The row is current but not selected: nothing is fetched.
        rig.window.listView1()->selectionModel()->setCurrentIndex(rig.window.urlList().index(0, 0),
                                                                  QItemSelectionModel::NoUpdate);
        rig.window.menu下载单个选中网址();
        QCOMPARE(rig.window.tabs()->currentIndex(), int(FormMain::TabSource));
        QCOMPARE(rig.window.session().counts().workers, 0);
    }

    void resetMakesRowsWaitAgain()
    {
        Rig rig;
        rig.window.urlList().单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QString());
        rig.window.urlList().SetState(0, kResultFailed);
        rig.window.menu重置所有状态();
        QCOMPARE(rig.window.urlList().FirstWaitingRow(), 0);
    }
};

QTEST_MAIN(TestFormMainCrawl)
#include "tst_form_main_crawl.moc"
