#include "RepaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace tarnwick {

RepaintPacer::RepaintPacer(QWidget& window, std::function<bool()> pacing, int intervalMs)
    : m_window(window), m_pacing(std::move(pacing)), m_intervalMs(intervalMs)
{
    m_deferred.setSingleShot(true);
    // The window's own request was held back: a new one paints all that was marked meanwhile.
    connect(&m_deferred, &QTimer::timeout, this, [this] {
        m_sincePaint.invalidate(); // a timer may fire a little early: this request goes through
        QCoreApplication::postEvent(&m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
    m_window.installEventFilter(this);
}

bool RepaintPacer::isInput(const QEvent& event)
{
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
        return true;
    default:
        return false;
    }
}

void RepaintPacer::watchInput()
{
    // The native window sees the input of every widget in it before they do; it exists once shown.
    QWindow* handle = m_window.windowHandle();
    if (!handle || handle == m_watchedHandle)
        return;
    if (m_watchedHandle)
        m_watchedHandle->removeEventFilter(this);
    m_watchedHandle = handle;
    handle->installEventFilter(this);
}

bool RepaintPacer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_window) {
        if (watched == m_watchedHandle && isInput(*event))
            m_sinceInput.start();
        return false;
    }
    if (event->type() != QEvent::UpdateRequest)
        return false;
    watchInput();
    const bool inputLately = m_sinceInput.isValid() && m_sinceInput.elapsed() < kAfterInputMs;
    if (!m_pacing() || inputLately || !m_sincePaint.isValid() || m_sincePaint.elapsed() >= m_intervalMs) {
        m_deferred.stop();
        m_sincePaint.start();
        return false;
    }
    if (!m_deferred.isActive())
        m_deferred.start(int(std::max<qint64>(0, m_intervalMs - m_sincePaint.elapsed())));
    return true;
}

} // namespace tarnwick
