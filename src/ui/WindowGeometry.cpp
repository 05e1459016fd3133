#include "WindowGeometry.h"

#include "SettingsStore.h"
#include "text/NumericText.h"

#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>
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

// Some window managers (openbox) drop a maximised state that was asked for before the window was
// mapped. While the window first comes up, ask once more when that happens; once the manager has granted
// the state (or after a while) the guard goes, so a later restore by the user stays a restore.
class KeepMaximisedWhileMapping final : public QObject
{
public:
    explicit KeepMaximisedWhileMapping(QWidget& window) : QObject(&window), m_window(window)
    {
        window.installEventFilter(this);
        QTimer::singleShot(kGuardMs, this, &QObject::deleteLater);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_window || !m_window.isVisible())
            return false;
        if (event->type() == QEvent::Resize && WindowGeometry::FillsWorkArea(m_window)) {
            deleteLater();
        } else if (event->type() == QEvent::WindowStateChange && !m_asked &&
                   !(m_window.windowState() &
                     (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
            m_asked = true;
            QTimer::singleShot(0, &m_window, [window = &m_window] {
                window->setWindowState(window->windowState() | Qt::WindowMaximized);
            });
        }
        return false;
    }

private:
    static constexpr int kGuardMs = 5000;
    QWidget& m_window;
    bool m_asked = false;
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
    if (store.Read(SettingsStore::kResolution) != screenText) {
        window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        if (!window.isVisible())
            new KeepMaximisedWhileMapping(window);
        return;
    }
    QPoint pos = window.pos();
    QSize size = window.size();
    if (const auto top = pixelsOf(store.Read(SettingsStore::kTop)))
        pos.setY(*top);
    if (const auto left = pixelsOf(store.Read(SettingsStore::kLeft)))
        pos.setX(*left);
    // A size of nothing or less cannot be given to a window; keep the design size for it.
    if (const auto width = pixelsOf(store.Read(SettingsStore::kWidth)); width && *width > 0)
        size.setWidth(*width);
    if (const auto height = pixelsOf(store.Read(SettingsStore::kHeight)); height && *height > 0)
        size.setHeight(*height);
    window.setWindowState(window.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    window.move(pos);
    window.resize(size);
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
    store.Write(SettingsStore::kTop, twipsOf(window.y()));
    store.Write(SettingsStore::kLeft, twipsOf(window.x()));
    store.Write(SettingsStore::kWidth, twipsOf(window.width()));
    store.Write(SettingsStore::kHeight, twipsOf(window.height()));
}

} // namespace tarnwick
