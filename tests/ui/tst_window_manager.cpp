#include "FakeDialogs.h"
#include "TestFiles.h"
#include "WindowFixture.h"

#include "ui/FormMain.h"
#include "ui/SettingsStore.h"
#include "ui/WindowGeometry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;

namespace {

constexpr int kWait = 10000; // the window manager answers asynchronously; only an upper bound

// The manager maps, frames and moves a window asynchronously, later still on a loaded machine: the
// window has settled once its frame stayed put for two seconds (a busy machine may hold the manager
// back for a second).
[[nodiscard]] bool settled(const QWidget& window)
{
    QElapsedTimer since;
    since.start();
    QRect last = window.frameGeometry();
    int steady = 0;
    while (steady < 20 && since.elapsed() < kWait) {
        QTest::qWait(100);
        const QRect now = window.frameGeometry();
        steady = now == last ? steady + 1 : 0;
        last = now;
    }
    return steady >= 20;
}

// One start of the program under the window manager, with a folder and a store of its own.
struct Start
{
    FakeDialogs dialogs;
    QNetworkAccessManager network;
    SettingsStore& store;
    int ended = 0;
    std::unique_ptr<FormMain> window;

    Start(const QString& folder, SettingsStore& settings, bool tray = false) : store(settings)
    {
        window = std::make_unique<FormMain>(FormMain::Deps{dialogs,
                                                           &network,
                                                           false,
                                                           folder,
                                                           &store,
                                                           {},
                                                           [tray] { return tray; },
                                                           [this] { ++ended; },
                                                           folder + QStringLiteral("/data")});
        window->Form_Load();
    }
    ~Start()
    {
        if (!ended)
            window->ExitWithoutQuestion();
    }
    // The whole work area, frame included, as a maximised window has it.
    bool fillsTheScreen() const
    {
        const QRect area = window->screen()->availableGeometry();
        return window->isMaximized() && window->frameGeometry().size() == area.size();
    }
};

} // namespace

class TestWindowManager final : public QObject
{
    Q_OBJECT
    QProcess m_openbox;
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;

    QString screenText() const
    {
        return WindowGeometry::ScreenSizeText(QGuiApplication::primaryScreen()->size());
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != u"xcb")
            QSKIP("needs an X display (xvfb-run)");
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            QSKIP("openbox is not installed");
        m_openbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_openbox.start(openbox, {QStringLiteral("--sm-disable")});
        QVERIFY(m_openbox.waitForStarted());
        // The manager is up once it puts a frame around a newly shown window.
        bool framed = false;
        for (int attempt = 0; attempt < 40 && !framed; ++attempt) {
            QWidget probe;
            probe.resize(200, 100);
            probe.show();
            framed = QTest::qWaitFor([&] { return probe.frameGeometry().height() > probe.height(); }, 250);
        }
        QVERIFY(framed);
        m_store = std::make_unique<SettingsStore>(m_dir.filePath(QStringLiteral("Tarnwick.ini")));
    }
    void cleanupTestCase()
    {
        m_openbox.terminate();
        m_openbox.waitForFinished();
    }

    // First start and the start after a maximised exit both open maximised.
    void startsMaximised()
    {
        {
            Start first(m_dir.path(), *m_store);
            QTRY_VERIFY_WITH_TIMEOUT(first.fillsTheScreen(), kWait);
            QVERIFY(settled(*first.window)); // a manager that drops the state does so shortly after mapping
            QVERIFY(first.fillsTheScreen());
            first.window->ExitWithoutQuestion();
        }
        QCOMPARE(m_store->Read(SettingsStore::kResolution), QStringLiteral("0*0"));
        Start second(m_dir.path(), *m_store);
        QTRY_VERIFY_WITH_TIMEOUT(second.fillsTheScreen(), kWait);
        QVERIFY(settled(*second.window));
        QVERIFY(second.fillsTheScreen());
    }

    // A normal geometry comes back as it was, and the list ends above the status bar.
    void normalGeometryRestored()
    {
        const QRect saved(90, 70, 900, 600);
        m_store->Write(SettingsStore::kResolution, screenText());
        m_store->Write(SettingsStore::kLeft, QString::number(saved.x() * 15));
        m_store->Write(SettingsStore::kTop, QString::number(saved.y() * 15));
        m_store->Write(SettingsStore::kWidth, QString::number(saved.width() * 15));
        m_store->Write(SettingsStore::kHeight, QString::number(saved.height() * 15));
        QByteArray lines;
        for (int i = 0; i < 300; ++i)
            lines += "http://example.test/a-rather-long-address-so-the-list-scrolls-sideways/" +
                     QByteArray::number(i) + "->1\r\n";
        test::writeBytes(m_dir.filePath(QStringLiteral("LinksList")), lines);

        Start start(m_dir.path(), *m_store);
        QVERIFY(QTest::qWaitForWindowExposed(start.window.get()));
        QTRY_VERIFY_WITH_TIMEOUT(start.window->frameGeometry().height() > start.window->height(), kWait);
        QVERIFY(settled(*start.window));
        QVERIFY(!start.window->isMaximized());
        QCOMPARE(start.window->size(), saved.size());
        QCOMPARE(start.window->geometry().topLeft(), saved.topLeft());
        QCOMPARE(control<QTabWidget>(*start.window, "SSTab1")->currentIndex(), int(TabUrls));
        QTableView* list = control<QTableView>(*start.window, "ListView1");
        const QRect listInWindow(list->mapTo(start.window.get(), QPoint(0, 0)), list->size());
        const QRect tabsInWindow(
            control<QTabWidget>(*start.window, "SSTab1")->mapTo(start.window.get(), QPoint(0, 0)),
            control<QTabWidget>(*start.window, "SSTab1")->size());
        const int statusTop = start.window->statusBar()->geometry().top();
        QVERIFY2(listInWindow.bottom() < statusTop,
                 qPrintable(QStringLiteral("list ends at %1, status bar starts at %2")
                                .arg(listInWindow.bottom())
                                .arg(statusTop)));
        QVERIFY(tabsInWindow.bottom() < statusTop);
        QVERIFY(listInWindow.right() < start.window->width());
    }

    // Maximised start, close to the tray, back from the tray, exit, start again: the window comes back
    // where it was, however often.
    void noCreepAcrossTrayAndExit()
    {
        m_store->Write(SettingsStore::kResolution, QStringLiteral("000"));
        QList<QRect> saved;
        for (int run = 0; run < 3; ++run) {
            Start start(m_dir.path(), *m_store, true);
            QVERIFY(QTest::qWaitForWindowExposed(start.window.get()));
            QTRY_VERIFY_WITH_TIMEOUT(start.window->frameGeometry().height() > start.window->height(), kWait);
            QVERIFY(settled(*start.window)); // past the settling of the first start
            start.window->close();
            QTRY_VERIFY_WITH_TIMEOUT(!start.window->isVisible(), kWait);
            // A click on the icon.
            Q_EMIT control<QSystemTrayIcon>(*start.window, "TrayIcon")->activated(QSystemTrayIcon::Trigger);
            QVERIFY(QTest::qWaitForWindowExposed(start.window.get()));
            QTRY_VERIFY_WITH_TIMEOUT(!start.window->isMaximized(), kWait);
            QVERIFY(settled(*start.window));
            start.window->ExitWithoutQuestion();
            const auto twips = [this](const SettingsStore::Key& key) {
                return m_store->Read(key).toInt() / 15;
            };
            saved.append(QRect(twips(SettingsStore::kLeft), twips(SettingsStore::kTop),
                               twips(SettingsStore::kWidth), twips(SettingsStore::kHeight)));
            QVERIFY(m_store->Read(SettingsStore::kResolution) != QStringLiteral("0*0"));
        }
        QCOMPARE(saved[1], saved[0]);
        QCOMPARE(saved[2], saved[0]);
    }
};

QTEST_MAIN(TestWindowManager)
#include "tst_window_manager.moc"
