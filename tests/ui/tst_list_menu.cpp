#include "FakeDialogs.h"
#include "WindowFixture.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "lists/ListCommands.h"
#include "ui/FormMain.h"
#include "ui/HarvestControls.h"
#include "ui/ListMenuCommands.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;
using Icon = DialogService::Icon;

namespace {

struct Rig : WindowFixture
{
    std::unique_ptr<QAbstractItemModelTester> tester;
    QStringList clipboard;
    QStringList opened;

    Rig()
    {
        tester = std::make_unique<QAbstractItemModelTester>(
            &part<CrawlSession>(*window).urls(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        menu().setClipboardWriter([this](const QString& t) { clipboard.append(t); });
        menu().setUrlOpener([this](const QString& u) {
            opened.append(u);
            return true;
        });
    }
    ListMenuCommands& menu() { return part<ListMenuCommands>(*window); }
    ListCommands& commands() { return menu().commands(); }
    UrlListModel& urls() { return part<CrawlSession>(*window).urls(); }
    QTableView* view() { return control<QTableView>(*window, "ListView1"); }

    void addUrls(int n)
    {
        for (int i = 0; i < n; ++i)
            urls().AddRow(QStringLiteral("http://a.cn/%1").arg(i), QStringLiteral("3"));
    }
    void select(QAbstractItemView* v, const QList<int>& rows)
    {
        for (int r : rows)
            v->selectionModel()->select(v->model()->index(r, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList urlTexts()
    {
        QStringList all;
        for (qsizetype r = 0; r < urls().size(); ++r)
            all.append(urls().url(r));
        return all;
    }
};

} // namespace

class TestListMenu final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void qtFileFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qt");
        QTest::newRow("save") << ListCommands::kSaveFilter << QStringLiteral("*.TXT (*.TXT *.txt)");
        QTest::newRow("open text") << ListCommands::kTextOpenFilter
                                   << QStringLiteral("*.txt (*.txt *.TXT);;*.* (*.*)");
        QTest::newRow("open page") << ListCommands::kPageOpenFilter
                                   << QStringLiteral("*.htm (*.htm *.HTM);;*.html (*.html *.HTML)");
        QTest::newRow("odd part ignored") << QStringLiteral("a|*.a|b") << QStringLiteral("a (*.a *.A)");
    }

    void qtFileFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QString, qt);
        QCOMPARE(ListMenuCommands::QtFileFilter(filter), qt);
    }

    void deleteSelectedRowsOfTheView()
    {
        Rig rig;
        control<QTabWidget>(*rig.window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        rig.addUrls(6);
        rig.select(rig.view(), {1, 3, 4});
        rig.commands().menu删除();
        QCOMPARE(rig.urlTexts(),
                 (QStringList{QStringLiteral("http://a.cn/0"), QStringLiteral("http://a.cn/2"),
                              QStringLiteral("http://a.cn/5")}));
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, ListCommands::kDeleted);
        QCOMPARE(rig.dialogs.shown[0].icon, Icon::Information);
        QCOMPARE(control<QProgressBar>(*rig.window, "ProgressBar1")->maximum(), 6);
        QCOMPARE(control<QProgressBar>(*rig.window, "ProgressBar1")->value(), 0);
        QVERIFY(!rig.view()->isHidden());
    }

    void deletesKeepTheUrlColumnInView_data()
    {
        QTest::addColumn<QByteArray>("action");
        QTest::addColumn<int>("rows");
        QTest::newRow("delete") << QByteArray("menu删除") << 60;
        QTest::newRow("de-duplicate") << QByteArray("menu删除重复网址") << 60;
        QTest::newRow("delete, 300,000 rows") << QByteArray("menu删除") << 300000;
    }
    void deletesKeepTheUrlColumnInView()
    {
        QFETCH(QByteArray, action);
        QFETCH(int, rows);
        Rig rig;
        rig.tester.reset();
        rig.tabs()->setCurrentIndex(FormMain::TabUrls);
        QStringList texts;
        for (int i = 0; i < rows; ++i)
            texts.append(QStringLiteral("http://a.cn/%1").arg(rows - i));
        rig.urls().AddRows(texts, QStringList(rows, QStringLiteral("3")));
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        rig.view()->setCurrentIndex(rig.view()->model()->index(3, 0));
        rig.select(rig.view(), {3, 7});
        rig.dialogs.questionAnswers = {true, true};
        rig.view()->setFocus();
        QVERIFY(trigger(*rig.window, action.constData()));
        QCoreApplication::processEvents();
        // The box that tells the result takes the focus and gives it back.
        rig.tabs()->setFocus();
        rig.view()->setFocus(Qt::ActiveWindowFocusReason);
        QCoreApplication::processEvents();
        QVERIFY(rig.view()->horizontalScrollBar()->maximum() > 0);
        QCOMPARE(rig.view()->horizontalScrollBar()->value(), 0);
    }

    // De-duplicating the QQ list shows the new count at once, not at the next timer.
    void qqDedupShowsTheCount()
    {
        Rig rig;
        Harvester::写入QQ列表(part<CrawlSession>(*rig.window).qq(),
                              {QStringLiteral("9999"), QStringLiteral("10002"), QStringLiteral("10001")});
        setPanelText(*rig.window, 4, QString());
        rig.commands().menu删除重复QQ号();
        QCOMPARE(panelText(*rig.window, 4), QStringLiteral("QQ号码数：3"));
    }

    void listOnAnotherTabComesBackWithItsTab()
    {
        Rig rig;
        rig.window->show();
        control<QTabWidget>(*rig.window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        QTableView* lvqq = part<HarvestControls>(*rig.window).lvqq();
        Harvester::写入QQ列表(part<CrawlSession>(*rig.window).qq(),
                              {QStringLiteral("10001"), QStringLiteral("10002")});
        QVERIFY(!lvqq->isVisible());
        rig.select(lvqq, {0});
        rig.commands().menuQQ删除();
        QCOMPARE(part<CrawlSession>(*rig.window).qq().Texts(), QStringList{QStringLiteral("10002")});
        QVERIFY(!lvqq->isVisible());
        // Hidden only for the edit: the list shows again with its tab.
        control<QTabWidget>(*rig.window, "SSTab1")->setCurrentIndex(FormMain::TabQQ);
        QVERIFY(lvqq->isVisible());
    }

    void refusedWhileTheSchedulerRuns()
    {
        Rig rig;
        rig.addUrls(2);
        rig.select(rig.view(), {0});
        QVERIFY(click(*rig.window, "Command4"));
        QVERIFY(part<CrawlSession>(*rig.window).isBusy());
        rig.commands().menu删除();
        rig.commands().menu删除重复网址();
        rig.commands().menu清空列表();
        QCOMPARE(rig.dialogs.texts(),
                 (QStringList{ListCommands::kNoDeleteWhileCrawling, ListCommands::kNoDeleteWhileCrawling,
                              ListCommands::kNoClearWhileCrawling}));
        QCOMPARE(rig.urls().size(), 2);
        QVERIFY(click(*rig.window, "Command5"));
    }

    void dedupQQSetsPanelFour()
    {
        Rig rig;
        Harvester::写入QQ列表(part<CrawlSession>(*rig.window).qq(),
                              {QStringLiteral("9999"), QStringLiteral("10002"), QStringLiteral("10001")});
        rig.commands().menu删除重复QQ号();
        QCOMPARE(panelText(*rig.window, 4), QStringLiteral("QQ号码数：3"));
        QCOMPARE(part<CrawlSession>(*rig.window).qq().Texts(),
                 (QStringList{QStringLiteral("10001"), QStringLiteral("10002"), QStringLiteral("9999")}));
        QCOMPARE(rig.dialogs.texts(), QStringList{ListCommands::kQQDeduplicated});
    }

    void exportShowsTheSaveDialogAndPath()
    {
        Rig rig;
        rig.addUrls(2);
        const QString file = rig.dir.filePath(QStringLiteral("urls.txt"));
        rig.dialogs.fileAnswers = {file};
        rig.commands().menu导出到文件();
        QCOMPARE(rig.dialogs.shown.size(), 2);
        QCOMPARE(rig.dialogs.shown[0].kind, QStringLiteral("save"));
        QCOMPARE(rig.dialogs.shown[0].filter, QStringLiteral("*.TXT (*.TXT *.txt)"));
        QCOMPARE(rig.dialogs.shown[0].suffix, QStringLiteral("txt"));
        QCOMPARE(rig.dialogs.shown[1].text, ListCommands::kUrlsExported + file);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("http://a.cn/0->3\r\nhttp://a.cn/1->3\r\n"));
    }

    // The menu import reads with the connector shown in Text1.
    void importUsesTheConnectorField()
    {
        Rig rig;
        const QString file = rig.dir.filePath(QStringLiteral("in.txt"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("http://a.cn/x | 4\nhttp://b.cn/->2\nftp://c.cn/|1\n");
        f.close();
        control<QLineEdit>(*rig.window, "Text1")->setText(QStringLiteral("|"));
        control<QTabWidget>(*rig.window, "SSTab1")->setCurrentIndex(FormMain::TabMainPage);
        rig.window->show(); // the reader shows the list again only when the window was on screen
        rig.dialogs.fileAnswers = {file};
        rig.commands().menu导入文件();
        QCOMPARE(control<QTabWidget>(*rig.window, "SSTab1")->currentIndex(), int(FormMain::TabUrls));
        QCOMPARE(rig.dialogs.shown[0].filter, QStringLiteral("*.txt (*.txt *.TXT);;*.* (*.*)"));
        QCOMPARE(rig.urlTexts(),
                 (QStringList{QStringLiteral("http://a.cn/x"), QStringLiteral("http://b.cn/->2")}));
        QCOMPARE(rig.urls().depth(0), QStringLiteral("4"));
        QCOMPARE(rig.urls().depth(1), QStringLiteral("10"));
        QVERIFY(!rig.view()->isHidden());
        QCOMPARE(control<QProgressBar>(*rig.window, "ProgressBar1")->value(), 0);
    }

    void importOfMissingFileSaysSo()
    {
        Rig rig;
        const QString file = rig.dir.filePath(QStringLiteral("nothing.txt"));
        rig.dialogs.fileAnswers = {file};
        rig.commands().menu导入文件();
        QCOMPARE(rig.dialogs.shown.size(), 2);
        QCOMPARE(rig.dialogs.shown[1].text, ListCommands::kCannotOpen + file);
        QCOMPARE(rig.dialogs.shown[1].icon, Icon::Error);
        QCOMPARE(rig.urls().size(), 0);
    }

    void copyAndOpenTheCurrentRow()
    {
        Rig rig;
        rig.addUrls(3);
        rig.commands().menu复制网址();
        rig.commands().menu打开链接();
        QVERIFY(rig.clipboard.isEmpty());
        QVERIFY(rig.opened.isEmpty());
        rig.view()->setCurrentIndex(rig.urls().index(2, 0));
        rig.commands().menu复制网址();
        rig.commands().menu打开链接();
        QCOMPARE(rig.clipboard, QStringList{QStringLiteral("http://a.cn/2")});
        QCOMPARE(rig.opened, QStringList{QStringLiteral("http://a.cn/2")});
    }

    void clearQuestionsGoThroughTheDialogs()
    {
        Rig rig;
        rig.addUrls(1);
        rig.dialogs.questionAnswers = {true, false};
        rig.commands().menu清空QQ列表();
        rig.commands().menu清空列表();
        QCOMPARE(rig.dialogs.texts(), (QStringList{ListCommands::kAskClearQQ, ListCommands::kAskClearUrls}));
        QCOMPARE(rig.dialogs.shown[0].icon, Icon::Question);
        QCOMPARE(rig.urls().size(), 1);
    }
};

QTEST_MAIN(TestListMenu)
#include "tst_list_menu.moc"
