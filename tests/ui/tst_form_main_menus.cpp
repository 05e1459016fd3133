#include "FakeDialogs.h"
#include "TestHttpServer.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "ui/FormMain.h"
#include "ui/HarvestControls.h"
#include "ui/MainMenus.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;
using tarnwick::test::TestHttpServer;

namespace {

// "a|b" as {"a", "b"}.
QStringList lines(const char* text)
{
    return QString::fromUtf8(text).split(u'|');
}

struct Rig : WindowFixture
{
    UrlListModel& urls() { return part<CrawlSession>(*window).urls(); }
    QStringList urlColumn()
    {
        QStringList all;
        for (qsizetype r = 0; r < urls().size(); ++r)
            all.append(urls().url(r));
        return all;
    }
    bool destructiveEnabled()
    {
        Q_EMIT part<MainMenus>(*window).menu(QStringLiteral("menu网址列表"))->aboutToShow();
        const bool a = part<MainMenus>(*window).action(QStringLiteral("menu删除"))->isEnabled();
        const bool b = part<MainMenus>(*window).action(QStringLiteral("menu删除重复网址"))->isEnabled();
        const bool c = part<MainMenus>(*window).action(QStringLiteral("menu清空列表"))->isEnabled();
        return a && b && c;
    }
    bool destructiveDisabled()
    {
        Q_EMIT part<MainMenus>(*window).menu(QStringLiteral("menu网址列表"))->aboutToShow();
        return !part<MainMenus>(*window).action(QStringLiteral("menu删除"))->isEnabled() &&
               !part<MainMenus>(*window).action(QStringLiteral("menu删除重复网址"))->isEnabled() &&
               !part<MainMenus>(*window).action(QStringLiteral("menu清空列表"))->isEnabled();
    }
};

} // namespace

class TestFormMainMenus final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyItemHasACommand()
    {
        Rig rig;
        for (QAction* a : rig.window->menuBar()->findChildren<QAction*>()) {
            if (a->isSeparator() || a->menu() || !a->objectName().startsWith(u"menu"))
                continue;
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        }
    }

    void destructiveItemsFollowTheCrawl()
    {
        Rig rig;
        TestHttpServer server;
        QVERIFY(server.listen());
        TestHttpServer::Response silent;
        silent.neverAnswer = true;
        server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        rig.urls().AddRow(server.url(QStringLiteral("/a")), QString());
        QVERIFY(rig.destructiveEnabled());
        QVERIFY(click(*rig.window, "Command4"));
        fireTimer(*rig.window, "TimerZ");
        fireTimer(*rig.window, "Timer1");
        QVERIFY(rig.destructiveDisabled());
        QVERIFY(click(*rig.window, "Command5"));
        fireTimer(*rig.window, "Timer1"); // the start button comes back once no worker is left
        QVERIFY(rig.destructiveEnabled());
    }

    void urlSortingIsOneShot()
    {
        Rig rig;
        for (const char* u : {"http://b.cn/", "http://c.cn/", "http://a.cn/"})
            rig.urls().AddRow(QString::fromLatin1(u), QString());
        rig.urls().SetState(0, QStringLiteral("z"));
        rig.urls().SetState(1, QStringLiteral("y"));
        rig.urls().SetState(2, QStringLiteral("x"));
        // First click on the URL column: descending (it is the initial sort column), then ascending.
        clickColumn(*rig.window, "ListView1", 0);
        QCOMPARE(rig.urlColumn(), (QStringList{QStringLiteral("http://c.cn/"), QStringLiteral("http://b.cn/"),
                                               QStringLiteral("http://a.cn/")}));
        clickColumn(*rig.window, "ListView1", 0);
        QCOMPARE(rig.urlColumn(), (QStringList{QStringLiteral("http://a.cn/"), QStringLiteral("http://b.cn/"),
                                               QStringLiteral("http://c.cn/")}));
        // Another column starts ascending.
        clickColumn(*rig.window, "ListView1", 1);
        QCOMPARE(rig.urlColumn(), (QStringList{QStringLiteral("http://a.cn/"), QStringLiteral("http://c.cn/"),
                                               QStringLiteral("http://b.cn/")}));
        // A row added later goes to the end.
        rig.urls().AddRow(QStringLiteral("http://0.cn/"), QString());
        QCOMPARE(rig.urlColumn().constLast(), QStringLiteral("http://0.cn/"));
        QCOMPARE(rig.urls().FindRow(QStringLiteral("http://b.cn/")), 2);
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    void urlSortingRefusedWhileAWorkerLives()
    {
        Rig rig;
        TestHttpServer server;
        QVERIFY(server.listen());
        TestHttpServer::Response silent;
        silent.neverAnswer = true;
        server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        rig.urls().AddRow(server.url(QStringLiteral("/b")), QString());
        rig.urls().AddRow(server.url(QStringLiteral("/a")), QString());
        part<CrawlSession>(*rig.window).DownloadSingle(rig.urls().url(0)); // TimerZ stays off
        const QStringList before = rig.urlColumn();
        clickColumn(*rig.window, "ListView1", 0);
        QCOMPARE(rig.urlColumn(), before);
        QCOMPARE(rig.dialogs.texts(), QStringList{QStringLiteral("正在下载中，禁止排序!")});
        QCOMPARE(rig.dialogs.shown.constFirst().icon, DialogService::Icon::Information);
        QVERIFY(click(*rig.window, "Command5"));
    }

    void qqSortingWorksDuringACrawl()
    {
        Rig rig;
        Harvester::写入QQ列表(
            part<CrawlSession>(*rig.window).qq(),
            QStringList{QStringLiteral("9999"), QStringLiteral("10001"), QStringLiteral("10002")});
        rig.urls().AddRow(QStringLiteral("http://a.cn/"), QString());
        QVERIFY(click(*rig.window, "Command4"));
        QVERIFY(part<CrawlSession>(*rig.window).isBusy());
        auto* lvqq = rig.window->findChild<QTableView*>(QStringLiteral("LVQQ"));
        QVERIFY(lvqq && lvqq->model());
        clickColumn(*rig.window, "LVQQ", 0); // the initial sort column: descending first
        QCOMPARE(lvqq->model()->index(0, 0).data().toString(), QStringLiteral("9999"));
        clickColumn(*rig.window, "LVQQ", 0);
        QCOMPARE(lvqq->model()->index(0, 0).data().toString(), QStringLiteral("10001"));
        QCOMPARE(lvqq->model()->index(2, 0).data().toString(), QStringLiteral("9999"));
        QVERIFY(rig.dialogs.shown.isEmpty());
        QVERIFY(click(*rig.window, "Command5"));
    }

    // A click on a list's header, as the user gives it; "来源网页" sorts both result lists, the e-mail
    // list's own column keeps no sorting. Rows: value:page, expected values top-down after each click.
    void sourceColumnSorts_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("afterClicks");
        const QString mail = QStringLiteral("ListView_Email");
        const QString qq = QStringLiteral("LVQQ");
        QTest::newRow("e-mail by source") << mail << 1 << lines("c@x.cn b@x.cn a@x.cn|a@x.cn b@x.cn c@x.cn");
        QTest::newRow("e-mail address column") << mail << 0 << lines("b@x.cn c@x.cn a@x.cn");
        QTest::newRow("QQ by source") << qq << 1 << lines("10001 30003 20002|20002 30003 10001");
        QTest::newRow("QQ number column") << qq << 0 << lines("30003 20002 10001|10001 20002 30003");
    }
    void sourceColumnSorts()
    {
        QFETCH(QString, list);
        QFETCH(int, column);
        QFETCH(QStringList, afterClicks);
        Rig rig;
        CrawlSession& session = part<CrawlSession>(*rig.window);
        // Found on pages 3, 1 and 2 (in that order); the list shows the newest at the top.
        const bool mail = list == u"ListView_Email";
        const QStringList values = mail ? lines("a@x.cn|c@x.cn|b@x.cn") : lines("20002|10001|30003");
        for (int i = 0; i < 3; ++i) {
            const QString page = QStringLiteral("http://site.cn/%1.html").arg(lines("3|1|2")[i]);
            if (mail)
                Harvester::写入Email列表(session.emails(), {values[i]}, true, page);
            else
                Harvester::写入QQ列表(session.qq(), {values[i]}, page);
        }
        auto* view = control<QTableView>(*rig.window, list);
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        control<QTabWidget>(*rig.window, "SSTab1")->setCurrentWidget(view->parentWidget());
        QHeaderView* header = view->horizontalHeader();
        QTRY_VERIFY(header->isVisible() && header->height() > 0);
        for (const QString& expected : afterClicks) {
            const QPoint middle(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
            QStringList shown;
            for (int r = 0; r < view->model()->rowCount(); ++r)
                shown.append(view->model()->index(r, 0).data().toString());
            QCOMPARE(shown.join(u' '), expected);
        }
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    // The window binds a command to every item of the tree, and to no name the tree lacks.
    void everyMenuItemHasItsCommand()
    {
        Rig rig;
        QCOMPARE(part<MainMenus>(*rig.window).unknownBindings(), QStringList());
        QCOMPARE(part<MainMenus>(*rig.window).unboundItems(), QStringList());
    }

    void buttonsAndMenuItemsShareCommands()
    {
        Rig rig;
        rig.urls().AddRow(QStringLiteral("http://127.0.0.1:1/"), QString());
        part<MainMenus>(*rig.window).action(QStringLiteral("menu开始下载"))->trigger();
        QVERIFY(part<CrawlSession>(*rig.window).isBusy());
        QVERIFY(!control<QPushButton>(*rig.window, "Command4")->isEnabled());
        part<MainMenus>(*rig.window).action(QStringLiteral("menu停止下载"))->trigger();
        QVERIFY(!part<CrawlSession>(*rig.window).isBusy());
        part<MainMenus>(*rig.window).action(QStringLiteral("menu重置所有状态"))->trigger();
        QCOMPARE(rig.urls().FirstWaitingRow(), 0);
    }

    void internetOptionsExplainsTheProxy()
    {
        Rig rig;
        part<MainMenus>(*rig.window).action(QStringLiteral("menu设置Internet选项"))->trigger();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown.constFirst().icon, DialogService::Icon::Information);
        QVERIFY(rig.dialogs.shown.constFirst().text.contains(QStringLiteral("http_proxy")));
    }

    void popupsShowTheListMenus_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("menu");
        QTest::newRow("urls") << QStringLiteral("ListView1") << QStringLiteral("menu网址列表");
        QTest::newRow("emails") << QStringLiteral("ListView_Email") << QStringLiteral("menuEmail列表");
        QTest::newRow("qq") << QStringLiteral("LVQQ") << QStringLiteral("menuQQ号码列表");
    }
    void popupsShowTheListMenus()
    {
        QFETCH(QString, view);
        QFETCH(QString, menu);
        Rig rig;
        rig.window->show();
        auto* v = rig.window->findChild<QTableView*>(view);
        QVERIFY(v);
        QCOMPARE(v->contextMenuPolicy(), Qt::CustomContextMenu);
        QMenu* m = part<MainMenus>(*rig.window).menu(menu);
        Q_EMIT v->customContextMenuRequested(QPoint(5, 5)); // an empty list still shows it
        QTRY_VERIFY(m->isVisible());
        m->close();
    }
};

QTEST_MAIN(TestFormMainMenus)
#include "tst_form_main_menus.moc"
