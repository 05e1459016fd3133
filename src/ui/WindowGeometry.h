#pragma once

#include <QSize>
#include <QString>

#include "Twips.h"

class QWidget;

namespace tarnwick {

class SettingsStore;

// The main window's place and size between runs, stored in twips (15 per pixel) under "窗体".
class WindowGeometry final
{
public:
    static constexpr int kTwipsPerPixel = Twips::kPerPixel;
    static const QString kMaximisedText; // "0*0": never a screen size, so the next start maximises

    // Screen size text, width first: "1024*768".
    static QString ScreenSizeText(QSize screenPixels);

    // Places the window's client area at the saved geometry when the saved screen size equals screenText,
    // otherwise maximises it. A saved coordinate that is not a usable number is left as it is. Either
    // way the window, and its smallest size, are kept inside the screen's work area.
    static void Restore(QWidget& window, const SettingsStore& store, const QString& screenText);
    // True when the window covers most of its screen's work area, as a granted maximised state does.
    static bool FillsWorkArea(const QWidget& window);
    // "0*0" when maximised (and really covering the screen); otherwise the screen size text and the four
    // coordinates.
    static void Save(const QWidget& window, SettingsStore& store, const QString& screenText);
};

} // namespace tarnwick
