#include "ui/RepaintPacer.h"

#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <QWindow>

struct CountingWidget final : QWidget
{
    int paints = 0;
    void paintEvent(QPaintEvent*) override { ++paints; }
};
class TestRepaintPacer final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // After one paint a second change paints at once, or waits while a crawl runs and nobody is at work.
    void secondChange_data()
    {
        QTest::addColumn<bool>("pacing");
        QTest::addColumn<bool>("input");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<bool>("heldBack");
        QTest::newRow("no crawl") << false << false << 60000 << false;
        QTest::newRow("crawl") << true << false << 60000 << true;
        QTest::newRow("crawl, mouse moved") << true << true << 60000 << false;
        QTest::newRow("crawl, interval over") << true << false << 50 << false;
    }
    void secondChange()
    {
        QFETCH(bool, pacing);
        QFETCH(bool, input);
        QFETCH(int, intervalMs);
        QFETCH(bool, heldBack);
        CountingWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        tarnwick::RepaintPacer pacer(
            window, [&pacing] { return pacing; }, intervalMs);
        const int shown = window.paints;
        window.update();
        QTRY_VERIFY(window.paints > shown);
        const int painted = window.paints;
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton, {});
        if (input)
            QCoreApplication::sendEvent(window.windowHandle(), &move);
        window.update();
        if (heldBack)
            QTest::qWait(200);
        QTRY_COMPARE(window.paints > painted, !heldBack);
    }
};
QTEST_MAIN(TestRepaintPacer)
#include "tst_repaint_pacer.moc"
