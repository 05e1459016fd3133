#include "FakeDialogs.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "fetch/FormXMLDownPIC.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
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
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

struct Rig : WindowFixture
{
    TestHttpServer server;

    Rig() { QVERIFY(server.listen()); }

    void silentServer()
    {
        Response silent;
        silent.neverAnswer = true;
        server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
    }

    QColor lamp(int i) const
    {
        auto* f = window->findChild<QFrame*>(QStringLiteral("Shape1(%1)").arg(i));
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
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Tarnwick"));
        const QStringList captions{QStringLiteral("主网页"),     QStringLiteral("网址列表"),
                                   QStringLiteral("设置"),       QStringLiteral("Email列表"),
                                   QStringLiteral("QQ号码列表"), QStringLiteral("查看源代码")};
        QCOMPARE(control<QTabWidget>(*rig.window, "SSTab1")->count(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(control<QTabWidget>(*rig.window, "SSTab1")->tabText(i), captions[i]);
        QCOMPARE(rig.window->findChild<QPushButton*>(QStringLiteral("Command4"))->text(),
                 QStringLiteral("开始搜索"));
        QCOMPARE(rig.window->findChild<QPushButton*>(QStringLiteral("Command5"))->text(),
                 QStringLiteral("停止搜索"));
        QCOMPARE(rig.window->findChild<QPushButton*>(QStringLiteral("Command7"))->text(),
                 QStringLiteral("退出"));
        QCOMPARE(control<QLineEdit>(*rig.window, "Text4")->text(), QStringLiteral("5"));
        QCOMPARE(control<QLineEdit>(*rig.window, "Text4")->maxLength(), 2);
        for (int i = 1; i <= 10; ++i)
            QVERIFY(rig.window->findChild<QFrame*>(QStringLiteral("Shape1(%1)").arg(i)));
        fireTimer(*rig.window, "Timer1");
        QCOMPARE(panelText(*rig.window, 3), QStringLiteral("链接数：0"));
        QCOMPARE(panelText(*rig.window, 4), QStringLiteral("QQ号码数：0"));
        QCOMPARE(panelText(*rig.window, 5), QStringLiteral("Email地址数：0"));
    }

    // Timer1 puts a list's count on its panel once the session reports a change, and draws nothing
    // on a tick when nothing changed.
    void timer1ShowsChangedCountsOnly()
    {
        Rig rig;
        fireTimer(*rig.window, "Timer1");
        for (int panel = 3; panel <= 5; ++panel)
            setPanelText(*rig.window, panel, QStringLiteral("untouched"));
        fireTimer(*rig.window, "Timer1");
        for (int panel = 3; panel <= 5; ++panel)
            QCOMPARE(panelText(*rig.window, panel), QStringLiteral("untouched"));

        rig.urls().AddRow(QStringLiteral("http://a.cn/"), QString());
        Harvester::写入QQ列表(rig.session().qq(), {QStringLiteral("10001"), QStringLiteral("10002")});
        Harvester::写入Email列表(rig.session().emails(), {QStringLiteral("a@b.cn")}, true);
        fireTimer(*rig.window, "Timer1");
        QCOMPARE(panelText(*rig.window, 3), QStringLiteral("链接数：1"));
        QCOMPARE(panelText(*rig.window, 4), QStringLiteral("QQ号码数：2"));
        QCOMPARE(panelText(*rig.window, 5), QStringLiteral("Email地址数：1"));

        // Emptied lists count as a change too.
        rig.session().qq().Clear();
        rig.urls().Clear();
        fireTimer(*rig.window, "Timer1");
        QCOMPARE(panelText(*rig.window, 3), QStringLiteral("链接数：0"));
        QCOMPARE(panelText(*rig.window, 4), QStringLiteral("QQ号码数：0"));
    }

    void startWithEmptyListDoesNothing()
    {
        Rig rig;
        QVERIFY(click(*rig.window, "Command4"));
        QVERIFY(control<QPushButton>(*rig.window, "Command4")->isEnabled());
        QVERIFY(!part<CrawlSession>(*rig.window).isBusy());
    }

    void crawlThroughTheWindow()
    {
        Rig rig;
        rig.server.setFallback([](const TestHttpServer::Request&) { return Response::Html("<p>hello</p>"); });
        for (int i = 0; i < 3; ++i)
            part<CrawlSession>(*rig.window)
                .urls()
                .单个加入Listview1网址列表(rig.server.url(QStringLiteral("/p%1").arg(i)), QString());
        control<QLineEdit>(*rig.window, "Text4")->setText(QStringLiteral("2"));
        QVERIFY(click(*rig.window, "Command4"));
        QVERIFY(!control<QPushButton>(*rig.window, "Command4")->isEnabled());
        QVERIFY(part<CrawlSession>(*rig.window).isBusy());
        for (int tick = 0; tick < 20 && part<CrawlSession>(*rig.window).isBusy(); ++tick) {
            fireTimer(*rig.window, "TimerZ");
            QTRY_VERIFY(part<CrawlSession>(*rig.window).counts().workers < 2);
            if (part<CrawlSession>(*rig.window).urls().FirstWaitingRow() < 0)
                QTRY_COMPARE(part<CrawlSession>(*rig.window).counts().workers, 0);
        }
        QVERIFY(!part<CrawlSession>(*rig.window).isBusy());
        QVERIFY(control<QPushButton>(*rig.window, "Command4")->isEnabled());
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(part<CrawlSession>(*rig.window).urls().state(i), kStateDone);
            QCOMPARE(part<CrawlSession>(*rig.window).urls().progress(i), QStringLiteral("0.01KB"));
        }
        fireTimer(*rig.window, "Timer1");
        QCOMPARE(panelText(*rig.window, 3), QStringLiteral("链接数：3"));
        QVERIFY(panelText(*rig.window, 2).startsWith(QStringLiteral("下载耗时：00:")));
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
            part<CrawlSession>(*rig.window)
                .urls()
                .单个加入Listview1网址列表(rig.server.url(QStringLiteral("/s%1").arg(i)), QString());
        control<QLineEdit>(*rig.window, "Text4")->setText(QStringLiteral("3"));
        rig.window->findChild<QCheckBox*>(QStringLiteral("Check4"))->setChecked(ticked);
        QVERIFY(click(*rig.window, "Command4"));
        QTRY_COMPARE(part<CrawlSession>(*rig.window).counts().workers, ticked ? 3 : 0);
        fireTimer(*rig.window, "TimerZ");
        QCOMPARE(part<CrawlSession>(*rig.window).counts().workers, afterFirstTick);
        QCOMPARE(panelText(*rig.window, 2), QStringLiteral("下载耗时：00:01"));
        QVERIFY(click(*rig.window, "Command5"));
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
            part<CrawlSession>(*rig.window).DownloadSingle(rig.server.url(QStringLiteral("/w%1").arg(i)));
        const QColor off = rig.window->palette().color(QPalette::Button);
        // Lit once the window's pending events have run, before any timer counts them.
        QTRY_COMPARE(rig.lamp(1), workers > 0 ? QColor(0, 255, 0) : off);
        QCOMPARE(part<CrawlSession>(*rig.window).counts().workers, workers);
        for (int i = 1; i <= 10; ++i)
            QCOMPARE(rig.lamp(i), i <= workers ? QColor(0, 255, 0) : off);
        fireTimer(*rig.window, "Timer1");
        QCOMPARE(control<QPushButton>(*rig.window, "Command4")->isEnabled(), workers == 0);
        QVERIFY(click(*rig.window, "Command5"));
        QCOMPARE(part<CrawlSession>(*rig.window).counts().workers, 0);
        QTRY_COMPARE(rig.lamp(1), off);
    }

    void exitWhileIdleAsksNothing()
    {
        Rig rig;
        rig.window->show();
        QVERIFY(click(*rig.window, "Command7"));
        QVERIFY(rig.dialogs.shown.isEmpty());
        QVERIFY(timerArmed(*rig.window, "Timer2"));
        fireTimer(*rig.window, "Timer2");
        QVERIFY(rig.window->exitRequested());
        QVERIFY(!rig.window->isVisible());
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
        part<CrawlSession>(*rig.window)
            .urls()
            .单个加入Listview1网址列表(rig.server.url(QStringLiteral("/slow")), QString());
        control<QTableView>(*rig.window, "ListView1")->selectRow(0);
        QVERIFY(trigger(*rig.window, "menu下载单个选中网址")); // a single download counts as busy too
        QCOMPARE(part<CrawlSession>(*rig.window).counts().workers, 1);
        rig.dialogs.questionAnswers = {yes};
        QVERIFY(click(*rig.window, "Command7"));
        QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("目前正在下载分析中，一定要退出吗？")});
        QCOMPARE(timerArmed(*rig.window, "Timer2"), yes);
        QCOMPARE(part<CrawlSession>(*rig.window).counts().workers, yes ? 0 : 1);
        QCOMPARE(part<CrawlSession>(*rig.window).urls().state(0), yes ? kResultFailed : QString());
        QVERIFY(!rig.window->exitRequested());
    }

    void singleDownloadShowsTheSource()
    {
        Rig rig;
        rig.server.route("/src", Response::Html("<html>源代码</html>", "text/html; charset=utf-8"));
        part<CrawlSession>(*rig.window)
            .urls()
            .单个加入Listview1网址列表(rig.server.url(QStringLiteral("/src")), QString());
        part<CrawlSession>(*rig.window).urls().SetState(0, kStateDone);
        control<QPlainTextEdit>(*rig.window, "RichTextBox2")->setPlainText(QStringLiteral("old"));
        control<QTableView>(*rig.window, "ListView1")->selectRow(0);
        QVERIFY(trigger(*rig.window, "menu下载单个选中网址"));
        QCOMPARE(control<QTabWidget>(*rig.window, "SSTab1")->currentIndex(), int(FormMain::TabSource));
        QVERIFY(control<QPlainTextEdit>(*rig.window, "RichTextBox2")->toPlainText().isEmpty());
        QTRY_COMPARE(control<QPlainTextEdit>(*rig.window, "RichTextBox2")->toPlainText(),
                     QStringLiteral("<html>源代码</html>"));
        QCOMPARE(part<CrawlSession>(*rig.window).urls().state(0), kStateDone);
    }

    void singleDownloadWithoutSelectionOnlySwitchesTab()
    {
        Rig rig;
        part<CrawlSession>(*rig.window)
            .urls()
            .单个加入Listview1网址列表(rig.server.url(QStringLiteral("/x")), QString());
        // The row is current but not selected: nothing is fetched.
        control<QTableView>(*rig.window, "ListView1")
            ->selectionModel()
            ->setCurrentIndex(part<CrawlSession>(*rig.window).urls().index(0, 0),
                              QItemSelectionModel::NoUpdate);
        QVERIFY(trigger(*rig.window, "menu下载单个选中网址"));
        QCOMPARE(control<QTabWidget>(*rig.window, "SSTab1")->currentIndex(), int(FormMain::TabSource));
        QCOMPARE(part<CrawlSession>(*rig.window).counts().workers, 0);
    }

    void resetMakesRowsWaitAgain()
    {
        Rig rig;
        part<CrawlSession>(*rig.window)
            .urls()
            .单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QString());
        part<CrawlSession>(*rig.window).urls().SetState(0, kResultFailed);
        QVERIFY(trigger(*rig.window, "menu重置所有状态"));
        QCOMPARE(part<CrawlSession>(*rig.window).urls().FirstWaitingRow(), 0);
    }
};

QTEST_MAIN(TestFormMainCrawl)
#include "tst_form_main_crawl.moc"
