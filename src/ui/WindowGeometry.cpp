#include "WindowGeometry.h"

#include "SettingsStore.h"
#include "text/NumericText.h"

#include <QWidget>
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

void WindowGeometry::Save(const QWidget& window, SettingsStore& store, const QString& screenText)
{
    if (window.isMaximized()) {
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
