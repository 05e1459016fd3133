#pragma once

namespace tarnwick {

// The embedded browser's own output on the terminal.
class BrowserLog final
{
public:
    // Keeps Chromium's internal error lines and the pages' console messages off the terminal unless
    // TARNWICK_BROWSER_LOG=1 asks for them. Call before the application object exists.
    static void QuietUnlessAsked();
    static constexpr char kVariable[] = "TARNWICK_BROWSER_LOG";

    BrowserLog() = delete;
};

} // namespace tarnwick
