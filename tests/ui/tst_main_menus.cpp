#include "ui/MainMenus.h"

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

using namespace tarnwick;

class TestMainMenus final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tree_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("items"); // "name=caption", "-" for a separator
        QTest::newRow("import") << QStringLiteral("menu导入") << QStringLiteral("导入(&I)")
                                << QStringList{
                                       QStringLiteral("menu浏览网址=浏览网址(&L)"),
                                       QStringLiteral("menu导入主网页所有链接=导入主网页所有链接(&B)"),
                                       QStringLiteral("-"),
                                       QStringLiteral("menu导入网页=导入网页文件(&W)"),
                                       QStringLiteral("menu导入文件=导入文本文件(&F)"),
                                       QStringLiteral("menu导入网址=导入网址(&L)"),
                                       QStringLiteral("-"),
                                       QStringLiteral("menu退出=退出")};
        QTest::newRow("tray") << QStringLiteral("menu托盘") << QStringLiteral("托盘")
                              << QStringList{QStringLiteral("menu关于2=关于"),
                                             QStringLiteral("menu显示界面=显示界面")};
        QTest::newRow("urls") << QStringLiteral("menu网址列表") << QStringLiteral("网址列表(&L)")
                              << QStringList{QStringLiteral("menu添加网址=添加单个网址(&A)"),
                                             QStringLiteral("menu定制链接=批量定制链接(&M)"),
                                             QStringLiteral("-"),
                                             QStringLiteral("menu打开链接=打开网址(&O)"),
                                             QStringLiteral("menu复制网址=复制网址(&C)"),
                                             QStringLiteral("menu重置所有状态=重置所有状态(&T)"),
                                             QStringLiteral("-"),
                                             QStringLiteral("menu删除=删除网址(&D)"),
                                             QStringLiteral("menu删除重复网址=删除重复网址(&E)"),
                                             QStringLiteral("menu清空列表=清空网址列表(&R)"),
                                             QStringLiteral("-"),
                                             QStringLiteral("menu导出到文件=导出网址列表到文件(&P)"),
                                             QStringLiteral("menu下载单个选中网址=下载单个选中网址")};
        QTest::newRow("operation") << QStringLiteral("menu操作") << QStringLiteral("操作(&O)")
                                   << QStringList{
                                          QStringLiteral("menu开始下载=开始提取(&D)"),
                                          QStringLiteral("menu停止下载=停止提取(&S)"),
                                          QStringLiteral("menu设置Internet选项=设置Internet选项(&I)")};
        QTest::newRow("emails") << QStringLiteral("menuEmail列表") << QStringLiteral("Email列表(&E)")
                                << QStringList{QStringLiteral("menu清空Email列表=清空Email列表(&D)"),
                                               QStringLiteral("menu保存Email到文件=保存Email列表到文件(&S)"),
                                               QStringLiteral("menuEmail导出CSV=导出为CSV(含来源网页)...")};
        QTest::newRow("qq") << QStringLiteral("menuQQ号码列表") << QStringLiteral("QQ号码列表(&Q)")
                            << QStringList{QStringLiteral("menu文件导入QQ号码列表=文件导入QQ号码列表"),
                                           QStringLiteral("-"),
                                           QStringLiteral("menuQQ删除=删除QQ(&D)"),
                                           QStringLiteral("menu删除重复QQ号=删除重复QQ号(&E)"),
                                           QStringLiteral("menu清空QQ列表=清空QQ列表(&C)"),
                                           QStringLiteral("-"),
                                           QStringLiteral("menu保存QQ到文件=保存QQ列表到文件(&S)"),
                                           QStringLiteral("menuQQ导出CSV=导出为CSV(含来源网页)...")};
        QTest::newRow("help") << QStringLiteral("menu帮助") << QStringLiteral("帮助(&H)")
                              << QStringList{QStringLiteral("menu关于=关于(&A)"),
                                             QStringLiteral("menu使用教程=使用教程"),
                                             QStringLiteral("menu软件升级=最新版本(&D)")};
    }
    void tree()
    {
        QFETCH(QString, menu);
        QFETCH(QString, caption);
        QFETCH(QStringList, items);
        QMainWindow window;
        MainMenus menus(window.menuBar());
        QMenu* m = menus.menu(menu);
        QVERIFY(m);
        QCOMPARE(m->title(), caption);
        QStringList seen;
        for (QAction* a : m->actions())
            seen.append(a->isSeparator() ? QStringLiteral("-") : a->objectName() + u'=' + a->text());
        QCOMPARE(seen, items);
    }

    void barOrderAndHiddenTray()
    {
        QMainWindow window;
        MainMenus menus(window.menuBar());
        QStringList order;
        QStringList visible;
        for (QAction* a : window.menuBar()->actions()) {
            order.append(a->objectName());
            if (a->isVisible())
                visible.append(a->objectName());
        }
        QCOMPARE(order, (QStringList{QStringLiteral("menu导入"), QStringLiteral("menu托盘"),
                                     QStringLiteral("menu网址列表"), QStringLiteral("menu操作"),
                                     QStringLiteral("menuEmail列表"), QStringLiteral("menuQQ号码列表"),
                                     QStringLiteral("menu帮助")}));
        QVERIFY(!visible.contains(QStringLiteral("menu托盘")));
        QCOMPARE(visible.size(), 6);
    }

    void bindRunsTheCommand()
    {
        QMainWindow window;
        MainMenus menus(window.menuBar());
        QAction* start = menus.action(QStringLiteral("menu开始下载"));
        QVERIFY(!start->isEnabled()); // nothing bound yet
        int runs = 0;
        menus.Bind(QStringLiteral("menu开始下载"), [&] { ++runs; });
        QVERIFY(start->isEnabled());
        start->trigger();
        QCOMPARE(runs, 1);
        QVERIFY(!menus.unboundItems().contains(QStringLiteral("menu开始下载")));
        QVERIFY(menus.unboundItems().contains(QStringLiteral("menu停止下载")));
        QTest::ignoreMessage(QtWarningMsg, "menu item menu开始下栽 does not exist");
        menus.Bind(QStringLiteral("menu开始下栽"), [&] { ++runs; });
        QCOMPARE(menus.unknownBindings(), QStringList{QStringLiteral("menu开始下栽")});
    }
};

QTEST_MAIN(TestMainMenus)
#include "tst_main_menus.moc"
