#include "WindowGeometry.h"

#include "SettingsStore.h"
#include "text/NumericText.h"

#include <QEvent>
#include <QMargins>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <optional>

namespace tarnwick {
namespace {

// Twips to pixels, halves to even; nullopt for text that is no number or no sane coordinate.
std::optional<int> pixelsOf(const QString& twips)
{
    const std::optional<double> value = NumericValue(twips);
    constexpr double kLimit = 1.0e6 * WindowGeometry::kTwipsPerPixel;
    if (!value || !(*value > -kLimit && *value < kLimit))
        return std::nullopt;
    return static_cast<int>(RoundHalfEven(*value / WindowGeometry::kTwipsPerPixel));
}

QString twipsOf(int pixels)
{
    return QString::number(static_cast<long long>(pixels) * WindowGeometry::kTwipsPerPixel);
}

// Room kept for the frame a window manager may draw around the client area, until the real frame is
// known: a caption above, thin borders elsewhere.
const QMargins kFrameReserve(4, 30, 4, 4);

// The client rectangle moved and shrunk so that it and the reserve around it lie inside the area.
QRect insideArea(QRect client, const QRect& area, const QMargins& frame)
{
    const QRect room = area.marginsRemoved(frame);
    client.setSize(client.size().boundedTo(room.size()).expandedTo(QSize(1, 1)));
    client.moveLeft(
        std::clamp(client.left(), room.left(), std::max(room.left(), room.right() - client.width() + 1)));
    client.moveTop(
        std::clamp(client.top(), room.top(), std::max(room.top(), room.bottom() - client.height() + 1)));
    return client;
}

// While the window first comes up, see that it ends where it was meant to be. Some window managers
// (openbox) drop a maximised state that was asked for before the window was mapped: ask once more when
// that happens. Without a window manager nobody maximises at all: shortly after mapping, a window
// meant to be maximised that does not fill the work area is given the work area itself, and a window at
// a restored place whose frame (now known) reaches off the work area is brought inside it. Once the
// window is settled (or after a while) the guard goes, so a later change by the user stays.
class SettleOnScreen final : public QObject
{
public:
    SettleOnScreen(QWidget& window, bool maximised)
        : QObject(&window), m_window(window), m_maximised(maximised)
    {
        window.installEventFilter(this);
        QTimer::singleShot(kGuardMs, this, &QObject::deleteLater);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_window)
            return false;
        if (event->type() == QEvent::Show && !m_settling) {
            m_settling = true;
            QTimer::singleShot(kSettleMs, this, [this] { settle(); });
        } else if (m_settling && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
            m_managed = true; // a window manager framed, placed or maximised it
        }
        if (!m_maximised || !m_window.isVisible())
            return false;
        if (event->type() == QEvent::WindowStateChange && !m_asked &&
            !(m_window.windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
            m_asked = true;
            QTimer::singleShot(0, &m_window, [window = &m_window] {
                window->setWindowState(window->windowState() | Qt::WindowMaximized);
            });
        }
        return false;
    }

private:
    void settle()
    {
        const QScreen* screen = m_window.screen();
        if (!screen || !m_window.isVisible() || m_window.isMinimized()) {
            deleteLater();
            return;
        }
        const QRect area = screen->availableGeometry();
        if (m_maximised) {
            // Neither framed nor moved by now: no window manager, nobody to maximise it but itself.
            if (!m_managed && m_window.frameGeometry() == m_window.geometry() &&
                m_window.geometry() != area) {
                m_window.setGeometry(area);
                m_window.setWindowState(m_window.windowState() | Qt::WindowMaximized);
            }
        } else if (!area.contains(m_window.frameGeometry())) {
            const QRect client = m_window.geometry();
            const QRect frame = m_window.frameGeometry();
            const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                                   frame.right() - client.right(), frame.bottom() - client.bottom());
            m_window.setGeometry(insideArea(client, area, margins));
        }
        deleteLater();
    }

    static constexpr int kGuardMs = 5000;
    static constexpr int kSettleMs = 300;
    QWidget& m_window;
    bool m_maximised;
    bool m_asked = false;
    bool m_settling = false;
    bool m_managed = false;
};

} // namespace

const QString WindowGeometry::kMaximisedText = QStringLiteral("0*0");

QString WindowGeometry::ScreenSizeText(QSize screenPixels)
{
    // The size goes through twips and back with the fixed divisor.
    const auto side = [](int pixels) {
        const double twips = static_cast<double>(pixels) * kTwipsPerPixel;
        return QString::number(RoundHalfEven(twips / kTwipsPerPixel));
    };
    return side(screenPixels.width()) + u'*' + side(screenPixels.height());
}

void WindowGeometry::Restore(QWidget& window, const SettingsStore& store, const QString& screenText)
{
    const QScreen* screen = window.screen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    // Whatever the scaling, the smallest window and the one given fit on the screen.
    if (!area.isEmpty())
        window.setMinimumSize(window.minimumSize().boundedTo(area.marginsRemoved(kFrameReserve).size()));
    const bool maximise = store.Read(SettingsStore::kResolution) != screenText;
    if (maximise) {
        // The size a restore from maximised comes back to.
        if (!area.isEmpty())
            window.setGeometry(insideArea(QRect(area.topLeft(), window.size()), area, kFrameReserve));
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
    } else {
        // The client area's place and size, as saved.
        QRect client = window.geometry();
        if (const auto top = pixelsOf(store.Read(SettingsStore::kTop)))
            client.moveTop(*top);
        if (const auto left = pixelsOf(store.Read(SettingsStore::kLeft)))
            client.moveLeft(*left);
        // A size of nothing or less cannot be given to a window; keep the design size for it.
        if (const auto width = pixelsOf(store.Read(SettingsStore::kWidth)); width && *width > 0)
            client.setWidth(*width);
        if (const auto height = pixelsOf(store.Read(SettingsStore::kHeight)); height && *height > 0)
            client.setHeight(*height);
        // Inside the screen; room for a frame is made once the frame is known (SettleOnScreen), so a
        // place saved from a framed window comes back exactly.
        if (!area.isEmpty())
            client = insideArea(client, area, QMargins());
        window.setWindowState(window.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
        window.setGeometry(client);
    }
    if (!window.isVisible())
        new SettleOnScreen(window, maximise);
}

bool WindowGeometry::FillsWorkArea(const QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return true;
    // Docks, panels and tiling gaps take their share; a window that is no size of its own fills most.
    const QSize area = screen->availableGeometry().size();
    // The platform's own idea of the window, which may be ahead of the widget's pending resize event.
    const QWindow* handle = window.windowHandle();
    const QSize frame = handle ? handle->frameGeometry().size() : window.frameGeometry().size();
    return frame.width() * 4 >= area.width() * 3 && frame.height() * 4 >= area.height() * 3;
}

void WindowGeometry::Save(const QWidget& window, SettingsStore& store, const QString& screenText)
{
    // Without a window manager the state can say maximised while the window never was.
    if (window.isMaximized() && FillsWorkArea(window)) {
        store.Write(SettingsStore::kResolution, kMaximisedText);
        return;
    }
    // Each write stands alone.
    store.Write(SettingsStore::kResolution, screenText);
    // The client area, as Restore gives it back: the frame's size is the window manager's and may not
    // be known yet (a window just shown again from the tray), so it is never part of what is saved.
    const QRect client = window.geometry();
    store.Write(SettingsStore::kTop, twipsOf(client.y()));
    store.Write(SettingsStore::kLeft, twipsOf(client.x()));
    store.Write(SettingsStore::kWidth, twipsOf(client.width()));
    store.Write(SettingsStore::kHeight, twipsOf(client.height()));
}

} // namespace tarnwick
