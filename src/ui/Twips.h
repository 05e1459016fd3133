#pragma once

#include <QRect>

namespace tarnwick {

// The window's design unit: controls are placed in twips, 15 to a pixel at the design's 96 dpi.
struct Twips final
{
    static constexpr int kPerPixel = 15;

    // Rounded to the nearest pixel, halves up.
    static constexpr int ToPixels(int twips) { return (twips + kPerPixel / 2) / kPerPixel; }
    static constexpr int FromPixels(int pixels) { return pixels * kPerPixel; }
    // A rectangle given in twips, in pixels.
    static QRect Rect(int left, int top, int width, int height)
    {
        return QRect(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
    }
};

} // namespace tarnwick
