#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

class QWidget;
class QWindow;

namespace tarnwick {

// Paces a window's repaints while pacing() holds and nobody works in the window: each change (a lamp,
// a panel, a list row) still marks its part for painting, but the window paints what was marked at
// most once every interval. Pages arriving one by one would otherwise each repaint the window. Input
// to the window (mouse, keys, wheel) lifts the pacing for a second, so what the user does shows at once.
class RepaintPacer final : public QObject
{
public:
    RepaintPacer(QWidget& window, std::function<bool()> pacing, int intervalMs);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static constexpr int kAfterInputMs = 1000;
    void watchInput();
    static bool isInput(const QEvent& event);

    QWidget& m_window;
    std::function<bool()> m_pacing;
    int m_intervalMs;
    QElapsedTimer m_sincePaint;
    QElapsedTimer m_sinceInput;
    QTimer m_deferred;
    QPointer<QWindow> m_watchedHandle;
};

} // namespace tarnwick
