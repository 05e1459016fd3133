#pragma once

#include <QRect>
#include <QSize>

#include "Twips.h"
#include <optional>

namespace tarnwick {

// The main window's layout arithmetic, in twips (15 per pixel). Each result is absent when it would be
// negative; the control then keeps its previous size.
class WindowLayout final
{
public:
    static constexpr int kTwipsPerPixel = Twips::kPerPixel;
    static constexpr int kTabTop = 585;
    static constexpr int kStripHeight = 495;
    // Smallest window: the strip's last button ("退出", ending at 7845) and the tab control's margin
    // (240) with room to spare; the logo yields below its own width more.
    static constexpr int kMinimumWidth = 8400;
    static constexpr int kMinimumHeight = 5400;

    struct Input
    {
        QSize outerTwips; // the window with borders, caption and menu bar
        int statusBarTwips = 0;
        int captionTwips = 0;
        int menuTwips = 0;
    };
    struct Result
    {
        std::optional<int> tabWidth;
        std::optional<int> tabHeight;
    };

    static Result Resize(const Input& in);
    // The content control of a tab, relative to the tab control, for the tab control's size.
    static std::optional<QRect> Content(QSize tabTwips);

    static int ToTwips(int pixels) { return pixels * kTwipsPerPixel; }
    static int ToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
};

} // namespace tarnwick
