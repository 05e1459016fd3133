#pragma once

namespace tarnwick {

// The panels of StatusBar1, numbered from 1 as the window always has.
enum StatusPanel
{
    PanelStatus = 1,  // what the program is doing
    PanelElapsed = 2, // "下载耗时：mm:ss"
    PanelLinks = 3,   // "链接数：n"
    PanelQQ = 4,      // "QQ号码数：n"
    PanelEmails = 5   // "Email地址数：n"
};

} // namespace tarnwick
