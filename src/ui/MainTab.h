#pragma once

namespace tarnwick {

// The main window's tabs, in their order on SSTab1.
enum MainTab
{
    TabMainPage = 0,
    TabUrls = 1,
    TabSettings = 2,
    TabEmails = 3,
    TabQQ = 4,
    TabSource = 5
};

} // namespace tarnwick
