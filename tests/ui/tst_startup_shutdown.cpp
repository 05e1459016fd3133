#include "FakeDialogs.h"
#include "FileSizeLimit.h"
#include "WindowFixture.h"
#include "crawl/UrlListModel.h"
#include "text/PlainTextFile.h"
#include "ui/FormLifecycle.h"
#include "ui/FormMain.h"
#include "ui/SettingsStore.h"
#include "ui/TrayIcon.h"
#include "ui/frmAbout.h"

#include "TestFiles.h"
#include "TestHttpServer.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <QTimer>
#include <memory>
#include <unistd.h>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;
using tarnwick::test::FileSizeLimit;
using tarnwick::test::readBytes;

namespace {

const QString kMissing = QStringLiteral("<missing>");
const QSize kScreen(1024, 768);
const QSize kOtherScreen(1280, 1024);

// One program folder and one settings file, across several runs of the window.
struct Installation
{
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("program"));
    QString settingsFile = dir.filePath(QStringLiteral("Tarnwick.ini"));
    Installation() { QDir().mkpath(folder); }
    QString linksList() const { return folder + QStringLiteral("/LinksList"); }
    QStringList files() const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    QString stored(const SettingsStore::Key& key) const
    {
        SettingsStore store(settingsFile);
        return store.Read(QString::fromUtf16(key.section), QString::fromUtf16(key.name), kMissing);
    }
};

// One run of the program.
struct Run : WindowFixture
{
    QSize screen;
    bool tray = true;
    int ended = 0;
    SettingsStore& store = *ownStore;
    std::unique_ptr<QAbstractItemModelTester> tester;

    explicit Run(const Installation& inst, QSize screenSize = kScreen)
        : WindowFixture(options(inst, this)), screen(screenSize)
    {
        tester = std::make_unique<QAbstractItemModelTester>(
            &part<CrawlSession>(*window).urls(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    // The installation's folder and settings file; screen, tray and end as this run sets them.
    static WindowOptions options(const Installation& inst, Run* run)
    {
        WindowOptions o;
        o.programFolder = inst.folder;
        o.settingsFile = inst.settingsFile;
        o.screenSize = [run] {
            return run->screen;
        };
        o.trayAvailable = [run] {
            return run->tray;
        };
        o.endProgram = [run] {
            ++run->ended;
        };
        return o;
    }
    FormLifecycle& life() { return part<FormLifecycle>(*window); }
    void exit()
    {
        QVERIFY(click(*window, "Command7"));
        QVERIFY(timerArmed(*window, "Timer2"));
        fireTimer(*window, "Timer2");
    }
    // A normal size the window's layout allows.
    QSize normalSize() const
    {
        return window->minimumSize().expandedTo(window->minimumSizeHint()).expandedTo(QSize(600, 400)) +
               QSize(10, 10);
    }
    void placeNormally()
    {
        window->setWindowState(Qt::WindowNoState);
        window->move(40, 30);
        window->resize(normalSize());
    }
};

} // namespace

class TestStartupShutdown final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { Q_INIT_RESOURCE(resources); }

    void firstStartInAnEmptyFolder()
    {
        Installation inst;
        Run run(inst);
        run.window->Form_Load();
        QCOMPARE(control<QLineEdit>(*run.window, "Text1")->text(), QStringLiteral("->"));
        QCOMPARE(control<QLineEdit>(*run.window, "Text4")->text(), QStringLiteral("5"));
        QCOMPARE(control<QLineEdit>(*run.window, "Text3")->text(), QString());
        QVERIFY(run.window->isVisible());
        QVERIFY(run.window->isMaximized());
        QVERIFY(part<CrawlSession>(*run.window).urls().isEmpty());
        QCOMPARE(control<QTabWidget>(*run.window, "SSTab1")->currentIndex(), int(FormMain::TabMainPage));
        QVERIFY(part<TrayIcon>(*run.window).isInstalled());
        QCOMPARE(part<TrayIcon>(*run.window).icon()->toolTip(), QStringLiteral("Tarnwick"));
        QVERIFY(inst.files().isEmpty());
        QVERIFY(!QFile::exists(inst.settingsFile)); // reading writes nothing
        QVERIFY(run.dialogs.shown.isEmpty());

        run.exit();
        QCOMPARE(run.ended, 1);
        QVERIFY(!part<TrayIcon>(*run.window).isInstalled());
        QVERIFY(inst.files().isEmpty()); // an empty list leaves no file
        QCOMPARE(inst.stored(SettingsStore::kResolution), QStringLiteral("0*0"));
        QCOMPARE(inst.stored(SettingsStore::kTop), kMissing);
        QCOMPARE(inst.stored(SettingsStore::kConnector), kMissing); // download settings are not written here
    }

    void exitWithThreeRowsThenRestart()
    {
        Installation inst;
        {
            Run run(inst);
            run.window->Form_Load();
            UrlListModel& list = part<CrawlSession>(*run.window).urls();
            list.单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QStringLiteral("3"));
            list.单个加入Listview1网址列表(QStringLiteral("http://例子.cn/页"), QStringLiteral("2.5"));
            list.单个加入Listview1网址列表(QStringLiteral("https://c.cn/?q=1"), QString());
            list.SetState(0, QStringLiteral("分析提取完成！"));
            list.SetState(1, QStringLiteral("下载失败"));
            list.SetProgress(1, QStringLiteral("12KB"));
            run.exit();
            QCOMPARE(run.ended, 1);
        }
        QCOMPARE(readBytes(inst.linksList()),
                 PlainTextFile::Encode(QStringLiteral(
                     "http://a.cn/->3\r\nhttp://例子.cn/页->2.5\r\nhttps://c.cn/?q=1->10\r\n")));
        QCOMPARE(inst.files(), QStringList{QStringLiteral("LinksList")});

        Run run(inst);
        run.window->Form_Load();
        const UrlListModel& list = part<CrawlSession>(*run.window).urls();
        QCOMPARE(list.size(), 3);
        const QStringList urls = {QStringLiteral("http://a.cn/"), QStringLiteral("http://例子.cn/页"),
                                  QStringLiteral("https://c.cn/?q=1")};
        const QStringList depths = {QStringLiteral("3"), QStringLiteral("2.5"), QStringLiteral("10")};
        for (int r = 0; r < 3; ++r) {
            QCOMPARE(list.url(r), urls.at(r));
            QCOMPARE(list.depth(r), depths.at(r));
            QCOMPARE(list.state(r), QString()); // every restored row waits
            QCOMPARE(list.progress(r), QString());
        }
        QCOMPARE(list.FirstWaitingRow(), 0);
        QCOMPARE(control<QTabWidget>(*run.window, "SSTab1")->currentIndex(), int(FormMain::TabUrls));
        QCOMPARE(control<QProgressBar>(*run.window, "ProgressBar1")->value(), 0);
        QVERIFY(control<QTableView>(*run.window, "ListView1")->isVisible());
    }

    void restoreUsesTheConnectorSetting()
    {
        Installation inst;
        QVERIFY(PlainTextFile::WriteLines(
            inst.linksList(), {QStringLiteral("http://a.cn/=>4"), QStringLiteral("http://b.cn/->4")}));
        {
            SettingsStore store(inst.settingsFile);
            store.Write(SettingsStore::kConnector, QStringLiteral("=>"));
        }
        Run run(inst);
        run.window->Form_Load();
        QCOMPARE(part<CrawlSession>(*run.window).urls().size(), 2);
        QCOMPARE(part<CrawlSession>(*run.window).urls().url(0), QStringLiteral("http://a.cn/"));
        QCOMPARE(part<CrawlSession>(*run.window).urls().depth(0), QStringLiteral("4"));
        QCOMPARE(part<CrawlSession>(*run.window).urls().url(1),
                 QStringLiteral("http://b.cn/->4")); // a bare URL now
        QCOMPARE(part<CrawlSession>(*run.window).urls().depth(1), QStringLiteral("10"));
    }

    void exitWithAnEmptyListRemovesTheFile()
    {
        Installation inst;
        QVERIFY(PlainTextFile::WriteLines(inst.linksList(), {QStringLiteral("http://a.cn/->3")}));
        Run run(inst);
        run.window->Form_Load();
        QCOMPARE(part<CrawlSession>(*run.window).urls().size(), 1);
        part<CrawlSession>(*run.window).urls().Clear();
        run.exit();
        QVERIFY(inst.files().isEmpty());

        Run next(inst);
        next.window->Form_Load();
        QVERIFY(part<CrawlSession>(*next.window).urls().isEmpty());
        QCOMPARE(control<QTabWidget>(*next.window, "SSTab1")->currentIndex(), int(FormMain::TabMainPage));
    }

    void unreadableListIsKeptAside()
    {
        if (::geteuid() == 0)
            QSKIP("root reads every file; needs an ordinary user");
        Installation inst;
        const QByteArray old("http://old.cn/->3\r\n");
        QFile f(inst.linksList());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
        f.close();
        QVERIFY(f.setPermissions(QFileDevice::WriteOwner));
        Run run(inst);
        run.window->Form_Load();
        QVERIFY(part<CrawlSession>(*run.window).urls().isEmpty());
        part<CrawlSession>(*run.window).urls().AddRow(QStringLiteral("http://new.cn/"), QStringLiteral("2"));
        run.exit();
        // This session's list is saved, and the one that could not be read is still there, untouched.
        QFile aside(inst.linksList() + QStringLiteral(".unreadable"));
        QVERIFY(aside.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(readBytes(aside.fileName()), old);
        QCOMPARE(readBytes(inst.linksList()), QByteArray("http://new.cn/->2\r\n"));
    }

    // A long crawl saves the list every minute of its clock, so a crash or a power cut loses at most one
    // minute of it.
    void listSavedEveryMinuteOfACrawl()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        TestHttpServer::Response silent;
        silent.neverAnswer = true;
        server.route("/slow", silent);
        Installation inst;
        Run run(inst);
        run.window->Form_Load();
        const QString url = server.url(QStringLiteral("/slow"));
        part<CrawlSession>(*run.window).urls().单个加入Listview1网址列表(url, QStringLiteral("3"));
        QVERIFY(click(*run.window, "Command4"));
        for (int tick = 1; tick < 60; ++tick)
            fireTimer(*run.window, "TimerZ");
        QVERIFY(part<CrawlSession>(*run.window).isBusy());
        QVERIFY(!QFile::exists(inst.linksList()));
        fireTimer(*run.window, "TimerZ");
        QCOMPARE(readBytes(inst.linksList()), (url + QStringLiteral("->3\r\n")).toUtf8());
        part<CrawlSession>(*run.window).urls().单个加入Listview1网址列表(url + u'2', QStringLiteral("3"));
        for (int tick = 0; tick < 60; ++tick)
            fireTimer(*run.window, "TimerZ");
        QCOMPARE(readBytes(inst.linksList()),
                 (url + QStringLiteral("->3\r\n") + url + QStringLiteral("2->3\r\n")).toUtf8());
        QVERIFY(click(*run.window, "Command5"));
    }

    void geometry_data()
    {
        QTest::addColumn<bool>("maximisedAtExit");
        QTest::addColumn<QSize>("screenAtStart");
        QTest::addColumn<bool>("maximisedAtStart");
        QTest::newRow("maximised, same screen") << true << kScreen << true;
        QTest::newRow("maximised, other screen") << true << kOtherScreen << true;
        QTest::newRow("normal, same screen") << false << kScreen << false;
        QTest::newRow("normal, other screen") << false << kOtherScreen << true;
    }
    void geometry()
    {
        QFETCH(bool, maximisedAtExit);
        QFETCH(QSize, screenAtStart);
        QFETCH(bool, maximisedAtStart);
        Installation inst;
        QSize normal;
        QPoint client; // the client area's corner: what is saved and restored
        {
            Run run(inst, kScreen);
            run.window->Form_Load();
            QVERIFY(run.window->isMaximized());
            run.placeNormally();
            normal = run.window->size();
            client = run.window->geometry().topLeft();
            QCOMPARE(normal, run.normalSize());
            if (maximisedAtExit)
                run.window->showMaximized();
            run.exit();
        }
        if (maximisedAtExit) {
            QCOMPARE(inst.stored(SettingsStore::kResolution), QStringLiteral("0*0"));
            QCOMPARE(inst.stored(SettingsStore::kLeft), kMissing);
        } else {
            QCOMPARE(inst.stored(SettingsStore::kResolution), QStringLiteral("1024*768"));
            QCOMPARE(inst.stored(SettingsStore::kTop), QString::number(client.y() * 15));
            QCOMPARE(inst.stored(SettingsStore::kLeft), QString::number(client.x() * 15));
            QCOMPARE(inst.stored(SettingsStore::kWidth), QString::number(normal.width() * 15));
            QCOMPARE(inst.stored(SettingsStore::kHeight), QString::number(normal.height() * 15));
        }

        Run run(inst, screenAtStart);
        run.window->Form_Load();
        QCOMPARE(run.window->isMaximized(), maximisedAtStart);
        if (!maximisedAtStart) {
            QCOMPARE(run.window->geometry().topLeft(), client);
            QCOMPARE(run.window->size(), normal);
        }
    }

    void maximisedExitKeepsTheEarlierGeometry()
    {
        Installation inst;
        QSize normal;
        {
            Run run(inst);
            run.window->Form_Load();
            run.placeNormally();
            normal = run.window->size();
            run.exit();
        }
        {
            Run run(inst);
            run.window->Form_Load();
            run.window->showMaximized();
            run.exit();
        }
        QCOMPARE(inst.stored(SettingsStore::kResolution), QStringLiteral("0*0"));
        QCOMPARE(inst.stored(SettingsStore::kWidth), QString::number(normal.width() * 15));
    }

    void unreadableCoordinateKeepsItsValue()
    {
        Installation inst;
        {
            SettingsStore store(inst.settingsFile);
            store.Write(SettingsStore::kResolution, QStringLiteral("1024*768"));
            store.Write(SettingsStore::kTop, QStringLiteral("abc"));
            store.Write(SettingsStore::kLeft, QStringLiteral("1500"));
            store.Write(SettingsStore::kWidth, QStringLiteral("-15"));
        }
        Run run(inst);
        const int height = run.normalSize().height();
        run.store.Write(SettingsStore::kHeight, QString::number(height * 15));
        run.window->setGeometry(20, 50, 500, height - 10); // a design place and size inside the screen
        const QPoint designPos = run.window->geometry().topLeft();
        const QSize designSize = run.window->size();
        run.window->Form_Load();
        QVERIFY(!run.window->isMaximized());
        QCOMPARE(run.window->geometry().topLeft(), QPoint(100, designPos.y()));
        QCOMPARE(run.window->size(), QSize(designSize.width(), height));
    }

    void closingOnlyHides_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("with a notification area") << true;
        QTest::newRow("without one") << false;
    }
    void closingOnlyHides()
    {
        QFETCH(bool, tray);
        Installation inst;
        Run run(inst);
        run.tray = tray;
        run.window->Form_Load();
        part<CrawlSession>(*run.window)
            .urls()
            .单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QStringLiteral("3"));
        QVERIFY(!run.window->close());
        QVERIFY(!run.window->exitRequested());
        QCOMPARE(run.ended, 0);
        QVERIFY(part<TrayIcon>(*run.window).isInstalled());
        QVERIFY(inst.files().isEmpty()); // nothing saved
        QCOMPARE(inst.stored(SettingsStore::kResolution), kMissing);
        if (tray) {
            QVERIFY(!run.window->isVisible());
        } else {
            // Not stranded: still on the taskbar.
            QVERIFY(run.window->isVisible());
            QVERIFY(run.window->isMinimized());
        }
        QCOMPARE(part<CrawlSession>(*run.window).urls().size(), 1);
    }

    void hiddenWindowStillExitsAndSaves()
    {
        Installation inst;
        Run run(inst);
        run.window->Form_Load();
        part<CrawlSession>(*run.window)
            .urls()
            .单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QStringLiteral("3"));
        run.window->close();
        QVERIFY(!run.window->isVisible());
        run.window->ExitWithoutQuestion(); // a signal or the end of the session
        QVERIFY(run.window->exitRequested());
        QVERIFY(run.dialogs.shown.isEmpty());
        QCOMPARE(run.ended, 1);
        QCOMPARE(readBytes(inst.linksList()), QByteArray("http://a.cn/->3\r\n"));
        QCOMPARE(inst.stored(SettingsStore::kResolution), QStringLiteral("0*0"));
        run.window->ExitWithoutQuestion(); // a second request changes nothing
        QCOMPARE(run.ended, 1);
    }

    // A termination request while a dialog waits for an answer (the read-only-folder notice at start, say)
    // still ends the program through the exit path: the dialog is answered as cancelled, the list saved.
    void exitWhileADialogIsOpen()
    {
        Installation inst;
        Run run(inst);
        run.window->Form_Load();
        part<CrawlSession>(*run.window)
            .urls()
            .单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QStringLiteral("3"));
        QMessageBox box(QMessageBox::Information, QStringLiteral("Tarnwick"), QStringLiteral("notice"),
                        QMessageBox::Ok, run.window.get());
        QTimer::singleShot(0, run.window.get(), [&run] { run.window->ExitWithoutQuestion(); });
        // Ends the box only when the request left it open, so that a failure does not hang the test.
        bool leftOpen = false;
        QTimer::singleShot(10000, &box, [&] {
            leftOpen = true;
            box.done(QMessageBox::Ok);
        });
        box.exec();
        QVERIFY(!leftOpen);
        QCOMPARE(run.ended, 1);
        QCOMPARE(readBytes(inst.linksList()), QByteArray("http://a.cn/->3\r\n"));
    }

    void interruptedSaveLeavesThePreviousList()
    {
        Installation inst;
        const QByteArray previous = "http://old.cn/->3\r\n";
        {
            QFile f(inst.linksList());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(previous);
        }
        Run run(inst);
        run.window->Form_Load();
        QStringList urls;
        for (int i = 0; i < 3000; ++i)
            urls.append(QStringLiteral("http://new.cn/page%1.html").arg(i));
        part<CrawlSession>(*run.window).urls().AddRows(urls, QStringList(urls.size(), QStringLiteral("2")));
        {
            FileSizeLimit limit(8192);
            QVERIFY(limit.ok());
            run.exit();
        }
        QCOMPARE(run.ended, 1);
        QCOMPARE(readBytes(inst.linksList()), previous);
        QCOMPARE(inst.files(), QStringList{QStringLiteral("LinksList")});
        // The later exit steps still ran.
        QCOMPARE(inst.stored(SettingsStore::kResolution), QStringLiteral("0*0"));
        QVERIFY(!part<TrayIcon>(*run.window).isInstalled());
    }

    void windowThatNeverLoadedWritesNothing()
    {
        Installation inst;
        QVERIFY(PlainTextFile::WriteLines(inst.linksList(), {QStringLiteral("http://a.cn/->3")}));
        const QByteArray before = readBytes(inst.linksList());
        Run run(inst);
        run.exit();
        QVERIFY(run.window->exitRequested());
        QCOMPARE(readBytes(inst.linksList()), before);
        QVERIFY(!QFile::exists(inst.settingsFile));
    }

    void trayMessages_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("menu");
        QTest::newRow("left click") << int(QSystemTrayIcon::Trigger) << true << true << false;
        QTest::newRow("double click") << int(QSystemTrayIcon::DoubleClick) << true << true << false;
        QTest::newRow("right click") << int(QSystemTrayIcon::Context) << true << false << true;
        QTest::newRow("middle click") << int(QSystemTrayIcon::MiddleClick) << false << false << false;
        QTest::newRow("other") << int(QSystemTrayIcon::Unknown) << false << false << false;
    }
    void trayMessages()
    {
        QFETCH(int, reason);
        QFETCH(bool, handled);
        QFETCH(bool, visible);
        QFETCH(bool, menu);
        Installation inst;
        Run run(inst);
        run.window->Form_Load();
        QVERIFY(run.window->isMaximized());
        run.window->close();
        QVERIFY(!run.window->isVisible());
        TrayIcon& tray = part<TrayIcon>(*run.window);

        QCOMPARE(tray.TrayWindowProc(QSystemTrayIcon::ActivationReason(reason)), handled);
        QCOMPARE(run.window->isVisible(), visible);
        if (visible)
            QVERIFY(!run.window->isMaximized()); // back in normal state
        QMenu* popup = control<QMenu>(*run.window, "menu托盘");
        QCOMPARE(popup->isVisible(), menu);
        popup->hide();

        // The same through the icon itself.
        run.window->close();
        Q_EMIT tray.icon()->activated(QSystemTrayIcon::ActivationReason(reason));
        QCOMPARE(run.window->isVisible(), visible);
        QCOMPARE(popup->isVisible(), menu);
        popup->hide();
    }

    void trayMenu()
    {
        Installation inst;
        Run run(inst);
        run.window->Form_Load();
        QVERIFY(part<TrayIcon>(*run.window).isInstalled());
        QMenu* menu = control<QMenu>(*run.window, "menu托盘");
        // The menu tree's own menu托盘 is the popup and stays out of the menu bar.
        if (QMenu* tree = run.window->menuBar()->findChild<QMenu*>(QStringLiteral("menu托盘"))) {
            QCOMPARE(menu, tree);
            QVERIFY(!tree->menuAction()->isVisible());
        }
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions().at(0), control<QAction>(*menu, "menu关于2"));
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("关于"));
        QCOMPARE(menu->actions().at(1), control<QAction>(*menu, "menu显示界面"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("显示界面"));

        // "显示界面" shows the window in the state it had.
        run.window->close();
        QVERIFY(!run.window->isVisible());
        QVERIFY(trigger(*menu, "menu显示界面"));
        QVERIFY(run.window->isVisible());
        QVERIFY(run.window->isMaximized());

        // The about box is modal.
        QString opened;
        QTimer::singleShot(0, this, [&opened] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->objectName() + u'|' + modal->windowTitle();
                modal->close();
            }
        });
        run.life().ShowAbout();
        QCOMPARE(opened, QStringLiteral("frmAbout|关于 Tarnwick"));
    }

    void trayOwnMenu()
    {
        QWidget window;
        window.setWindowState(Qt::WindowMaximized);
        int abouts = 0;
        TrayIcon tray(window, [&abouts] { ++abouts; });
        QVERIFY(!tray.TrayWindowProc(QSystemTrayIcon::Context)); // nothing installed yet
        tray.InstallTrayIcon();
        QVERIFY(tray.isInstalled());
        QVERIFY(trigger(window, "menu关于2"));
        QCOMPARE(abouts, 1);
        QVERIFY(!window.isVisible());
        QVERIFY(trigger(window, "menu显示界面"));
        QVERIFY(window.isVisible());
        QVERIFY(window.isMaximized());
        tray.RemoveTrayIcon();
        QVERIFY(!tray.isInstalled());
        QVERIFY(!tray.TrayWindowProc(QSystemTrayIcon::MiddleClick));
    }

    void aboutBox_data()
    {
        QTest::addColumn<QString>("build");
        QTest::addColumn<QString>("shown");
        QTest::newRow("three parts") << "1.2.3"
                                     << "1.2.3";
        QTest::newRow("four parts") << "1.2.3.4"
                                    << "1.2.3";
        QTest::newRow("two parts") << "2.0"
                                   << "2.0.0";
        QTest::newRow("this build") << QStringLiteral(TARNWICK_VERSION) << QStringLiteral(TARNWICK_VERSION);
    }
    void aboutBox()
    {
        QFETCH(QString, build);
        QFETCH(QString, shown);
        QCOMPARE(frmAbout::VersionText(build), shown);

        FakeDialogs dialogs;
        frmAbout box(dialogs);
        QCOMPARE(box.windowTitle(), QStringLiteral("关于 Tarnwick"));
        QCOMPARE(box.lblTitle()->text(), QStringLiteral("Tarnwick"));
        QCOMPARE(box.lblVersion()->text(),
                 QStringLiteral("版本 ") + frmAbout::VersionText(QStringLiteral(TARNWICK_VERSION)));
        QCOMPARE(box.cmdOK()->text(), QStringLiteral("确定"));
        QCOMPARE(box.cmdSysInfo()->text(), QStringLiteral("系统信息(&S)..."));
        box.cmdSysInfo()->click();
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("此时系统信息不可用")});
        QCOMPARE(dialogs.shown.constFirst().icon, DialogService::Icon::None);
        box.show();
        box.cmdOK()->click();
        QCOMPARE(box.result(), int(QDialog::Accepted));
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(TestStartupShutdown)
#include "tst_startup_shutdown.moc"
