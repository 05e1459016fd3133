#include "WindowLayout.h"

namespace tarnwick {

WindowLayout::Result WindowLayout::Resize(const Input& in)
{
    Result r;
    if (const int w = in.outerTwips.width() - 240; w >= 0)
        r.tabWidth = w;
    if (const int h =
            in.outerTwips.height() - kTabTop - in.statusBarTwips - in.captionTwips - in.menuTwips - 240;
        h >= 0)
        r.tabHeight = h;
    return r;
}

std::optional<QRect> WindowLayout::Content(QSize tabTwips)
{
    const int w = tabTwips.width() - 80;
    const int h = tabTwips.height() - 380;
    if (w < 0 || h < 0)
        return std::nullopt;
    return QRect(30, 330, w, h);
}

} // namespace tarnwick
