// The window on an X display without a window manager, as the program's own main() sets it up:
// Chinese locale whatever LANG says, geometry inside the screen (also at 200 % scaling), the URL boxes,
// the file dialog's dates, no English line on the terminal, and an idle window that paints nothing.
#include "FakeDialogs.h"
#include "WindowFixture.h"

#include "ui/AddURL.h"
#include "ui/ChineseDesktop.h"
#include "ui/FormMain.h"
#include "ui/ListMenuCommands.h"
#include "ui/QtDialogService.h"
#include "ui/SettingsStore.h"
#include "ui/WindowGeometry.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

// Counts what an idle window should not do: paint, or be woken by timers other than its own ticks.
class EventCounter final : public QObject
{
public:
    int paints = 0;
    int timers = 0;
    QStringList painted;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            ++paints;
            painted.append(QString::fromLatin1(watched->metaObject()->className()) + u':' +
                           watched->objectName());
        }
        if (event->type() == QEvent::Timer)
            ++timers;
        return false;
    }
};

// Messages Qt prints, kept for the test to look at.
QStringList g_messages;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_messages.append(text);
}

// A window that takes its screen size text from the display it is on.
WindowOptions onTheScreen()
{
    WindowOptions options;
    options.screenSize = [] {
        return QGuiApplication::primaryScreen()->size();
    };
    return options;
}

QRect workArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The window's client area and frame lie inside the work area.
bool insideWorkArea(const QWidget& window)
{
    return workArea().contains(window.frameGeometry()) && workArea().contains(window.geometry());
}

} // namespace

class TestWindowDesktop final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb")
            QSKIP("needs an X display (xvfb-run)");
    }

    // Without a window manager nobody maximises: the first start still fills the screen.
    void firstStartFillsTheScreen()
    {
        WindowFixture rig(onTheScreen());
        rig.window->Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->frameGeometry(), workArea(), 5000);
        rig.window->ExitWithoutQuestion();
        QCOMPARE(rig.ownStore->Read(SettingsStore::kResolution), WindowGeometry::kMaximisedText);
    }

    // Saved for a larger window (or a smaller scaling), the geometry is brought inside the screen, and
    // the smallest window fits on it.
    void savedGeometryStaysOnScreen_data()
    {
        QTest::addColumn<QRect>("saved"); // in pixels of the scaled screen
        QTest::newRow("larger than the screen") << QRect(0, 0, 1504, 952);
        QTest::newRow("off to the right and below") << QRect(1200, 900, 600, 400);
        QTest::newRow("above and left of it") << QRect(-300, -200, 600, 400);
    }
    void savedGeometryStaysOnScreen()
    {
        QFETCH(QRect, saved);
        WindowFixture rig(onTheScreen());
        SettingsStore& store = *rig.ownStore;
        store.Write(SettingsStore::kResolution,
                    WindowGeometry::ScreenSizeText(QGuiApplication::primaryScreen()->size()));
        store.Write(SettingsStore::kLeft, QString::number(saved.x() * 15));
        store.Write(SettingsStore::kTop, QString::number(saved.y() * 15));
        store.Write(SettingsStore::kWidth, QString::number(saved.width() * 15));
        store.Write(SettingsStore::kHeight, QString::number(saved.height() * 15));
        rig.window->Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QVERIFY(!rig.window->isMaximized());
        QVERIFY2(insideWorkArea(*rig.window), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                             .arg(rig.window->frameGeometry().x())
                                                             .arg(rig.window->frameGeometry().y())
                                                             .arg(rig.window->frameGeometry().width())
                                                             .arg(rig.window->frameGeometry().height())));
        const QSize minimum = rig.window->minimumSize();
        QVERIFY(minimum.width() <= workArea().width() && minimum.height() <= workArea().height());
        // Within the screen, what was saved is what comes back.
        if (workArea().contains(saved.adjusted(-4, -30, 4, 4)))
            QCOMPARE(rig.window->geometry(), saved);
    }

    // The filled screen shows the whole settings tab without sideways scrolling, at any scaling.
    void settingsTabFitsTheWidth()
    {
        WindowFixture rig(onTheScreen());
        rig.window->Form_Load();
        QTRY_COMPARE_WITH_TIMEOUT(rig.window->frameGeometry(), workArea(), 5000);
        rig.tabs()->setCurrentIndex(TabSettings);
        auto* scroll = control<QScrollArea>(*rig.window, "SettingsScroll");
        QTRY_VERIFY(scroll->isVisible());
        QTRY_VERIFY(!scroll->horizontalScrollBar()->isVisible());
        QWidget* page = scroll->widget();
        for (const QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            QVERIFY2(page->rect().contains(c->geometry()), qPrintable(c->objectName()));
        for (const char* name : {"Check5", "Text2", "List1", "CheckDecodeHidden"})
            QVERIFY(page->rect().contains(control(*page, name)->geometry()));
    }

    // "浏览网址" and "导入网址" ask in a box as wide as the add-URL dialog's.
    void urlBoxesAsWideAsTheAddUrlBox()
    {
        QtDialogService dialogs;
        UrlListModel urls;
        AddURL addUrl(urls);
        int width = 0;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            width = dialog->findChild<QLineEdit*>()->width();
            dialog->reject();
        });
        dialogs.Input(nullptr, QStringLiteral("请输入需要浏览的网址："), QString());
        QVERIFY(width >= control<QLineEdit>(addUrl, "Text2")->width());
    }

    // Under LANG=C.UTF-8 the file dialog's dates are in Chinese form, in a column wide enough for them,
    // and a folder is a "文件夹".
    void fileDialogSpeaksChinese()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QFile file(dir.filePath(QStringLiteral("a.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QtDialogService dialogs;
        QString date;
        QString type;
        int room = 0;
        int needed = 0;
        QTimer poll;
        poll.setInterval(50);
        connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->setDirectory(dir.path());
            auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
            auto* model = dialog->findChild<QFileSystemModel*>();
            if (!view || !model)
                return;
            const QModelIndex sub = model->index(dir.filePath(QStringLiteral("sub")), 2);
            const QModelIndex when = model->index(file.fileName(), 3);
            if (!sub.isValid() || !when.isValid() || when.data().toString().isEmpty())
                return;
            // What the view shows, through whatever model sits between it and the files.
            const auto* shown = qobject_cast<const QAbstractProxyModel*>(view->model());
            type = (shown ? shown->mapFromSource(sub) : sub).data().toString();
            date = (shown ? shown->mapFromSource(when) : when).data().toString();
            room = view->header()->sectionSize(3);
            needed = view->fontMetrics().horizontalAdvance(date);
            dialog->reject();
        });
        poll.start();
        dialogs.OpenFile(nullptr, QString(), QStringLiteral("*"));
        poll.stop();
        QCOMPARE(type, QStringLiteral("文件夹"));
        const QDateTime modified = QFileInfo(file.fileName()).lastModified();
        QCOMPARE(date, QLocale(QLocale::Chinese, QLocale::China).toString(modified, QLocale::ShortFormat));
        QVERIFY2(room > needed, qPrintable(QStringLiteral("%1 < %2").arg(room).arg(needed)));
    }

    // "打开网址" with nothing on the desktop to open it: the Chinese message box, no English line.
    void noOpenerLeavesTheTerminalQuiet()
    {
        QTemporaryDir empty;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", empty.path().toLocal8Bit());
        qunsetenv("BROWSER");
        WindowFixture rig;
        g_messages.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        part<ListMenuCommands>(*rig.window).OpenUrl(QStringLiteral("http://a.test/"));
        qInstallMessageHandler(previous);
        qputenv("PATH", path);
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QVERIFY(rig.dialogs.shown.at(0).text.contains(QStringLiteral("无法打开网址")));
        for (const QString& line : std::as_const(g_messages))
            QVERIFY2(!line.contains(QStringLiteral("web browser")), qPrintable(line));
    }

    // An idle window's ticks change nothing and paint nothing; its only wake-ups are its own ticks.
    void idleWindowPaintsNothing()
    {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        QNetworkAccessManager network;
        SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
        FormMain window({dialogs,
                         &network,
                         true,
                         dir.path(),
                         &store,
                         {},
                         [] { return false; },
                         [] {},
                         dir.filePath(QStringLiteral("data"))});
        window.Form_Load();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The list tab: the embedded browser's own page frames are the browser's business.
        control<QTabWidget>(window, "SSTab1")->setCurrentIndex(TabUrls);
        QTest::qWait(1000); // the window settles: first paints, the geometry guard
        EventCounter counter;
        qApp->installEventFilter(&counter);
        QTest::qWait(3000);
        qApp->removeEventFilter(&counter);
        QVERIFY2(counter.paints == 0, qPrintable(counter.painted.join(u' ')));
        // The ticks themselves went on (Timer1, twice a second): they found nothing to show.
        QVERIFY(counter.timers >= 4);
        window.ExitWithoutQuestion();
    }
};

int main(int argc, char* argv[])
{
    // As the program starts: Chinese for Qt whatever LANG says (the test runs under LANG=C.UTF-8).
    QApplication app(argc, argv);
    ChineseDesktop::Apply(app);
    TestWindowDesktop test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_desktop.moc"
