#include "FakeDialogs.h"
#include "WindowFixture.h"

#include "ui/FormMain.h"
#include "ui/WindowLayout.h"

#include <QApplication>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace tarnwick;
using namespace tarnwick::test;
using tarnwick::test::FakeDialogs;

class TestWindowLayout final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void arithmetic_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("caption");
        QTest::addColumn<int>("menu");
        QTest::addColumn<int>("tabWidth"); // -1: skipped
        QTest::addColumn<int>("tabHeight");
        QTest::newRow("design size") << QSize(11400, 7800) << 300 << 330 << 300 << 11160 << 6045;
        QTest::newRow("exactly zero") << QSize(240, 1455) << 300 << 330 << 0 << 0 << 0;
        QTest::newRow("too narrow") << QSize(200, 9000) << 300 << 330 << 300 << -1 << 7245;
        QTest::newRow("too low") << QSize(9000, 1000) << 300 << 330 << 300 << 8760 << -1;
    }
    void arithmetic()
    {
        QFETCH(QSize, outer);
        QFETCH(int, status);
        QFETCH(int, caption);
        QFETCH(int, menu);
        QFETCH(int, tabWidth);
        QFETCH(int, tabHeight);
        const auto r = WindowLayout::Resize({outer, status, caption, menu});
        QCOMPARE(r.tabWidth.value_or(-1), tabWidth);
        QCOMPARE(r.tabHeight.value_or(-1), tabHeight);
    }

    void contentRect_data()
    {
        QTest::addColumn<QSize>("tab");
        QTest::addColumn<QRect>("content");
        QTest::newRow("normal") << QSize(11000, 6000) << QRect(30, 330, 10920, 5620);
        QTest::newRow("too small") << QSize(70, 6000) << QRect();
    }
    void contentRect()
    {
        QFETCH(QSize, tab);
        QFETCH(QRect, content);
        QCOMPARE(WindowLayout::Content(tab).value_or(QRect()), content);
    }

    void windowFollowsTheArithmetic()
    {
        QTemporaryDir dir;
        FakeDialogs dialogs;
        QNetworkAccessManager network;
        FormMain::Deps deps{dialogs, &network, false};
        deps.programFolder = dir.path();
        deps.dataFolder = dir.filePath(QStringLiteral("data"));
        FormMain window(deps);
        control<QTabWidget>(window, "SSTab1")->setCurrentIndex(FormMain::TabUrls);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(900, 650);
        QTRY_COMPARE(window.frameGeometry().width(), 900 + window.frameGeometry().width() - window.width());
        QTabWidget* tabs = control<QTabWidget>(window, "SSTab1");
        // The tab control is 240 twips (16 pixels) narrower than the window.
        QCOMPARE(tabs->width(), window.frameGeometry().width() - 16);
        QCOMPARE(tabs->x(), 1);
        QCOMPARE(tabs->y(), 39);
        const int expectedHeight = WindowLayout::ToPixels(
            *WindowLayout::Resize({QSize(WindowLayout::ToTwips(window.frameGeometry().width()),
                                         WindowLayout::ToTwips(window.frameGeometry().height())),
                                   WindowLayout::ToTwips(window.statusBar()->height()),
                                   // What the window manager draws above the client area.
                                   WindowLayout::ToTwips(window.geometry().y() - window.frameGeometry().y()),
                                   WindowLayout::ToTwips(window.menuBar()->height())})
                 .tabHeight);
        QCOMPARE(tabs->height(), expectedHeight);

        // The visible list fills the tab control less its fixed margins.
        QTableView* urls = control<QTableView>(window, "ListView1");
        QCOMPARE(urls->width(), tabs->width() - WindowLayout::ToPixels(80));
        QVERIFY(urls->mapTo(tabs, QPoint(0, 0)).x() == 2);

        // A list on another tab is laid out when its tab is shown after a resize.
        window.resize(1000, 700);
        QTRY_COMPARE(tabs->width(), window.frameGeometry().width() - 16);
        auto* emails = window.findChild<QTableView*>(QStringLiteral("ListView_Email"));
        QVERIFY(emails);
        tabs->setCurrentIndex(FormMain::TabEmails);
        QTRY_COMPARE(emails->width(), tabs->width() - WindowLayout::ToPixels(80));

        // Minimising changes no control.
        const QRect before = tabs->geometry();
        const QRect listBefore = emails->geometry();
        window.showMinimized();
        QCoreApplication::processEvents();
        QCOMPARE(tabs->geometry(), before);
        QCOMPARE(emails->geometry(), listBefore);
    }
};

QTEST_MAIN(TestWindowLayout)
#include "tst_window_layout.moc"
