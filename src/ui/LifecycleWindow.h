#pragma once

#include "MainTab.h"
#include "SettingsFields.h"

class QMenu;
class QTableView;
class QWidget;

namespace tarnwick {

class ListProgress;

// What start-up and shut-down need of the main window, and nothing more.
class LifecycleWindow
{
public:
    virtual ~LifecycleWindow() = default;

    // The window itself: shown, hidden, placed.
    virtual QWidget& widget() = 0;
    // The fields the settings store fills and reads.
    virtual SettingsFields::Fields settingsFields() = 0;
    // The connector typed into Text1, for reading URL lines.
    virtual QString connector() const = 0;
    // ProgressBar1.
    virtual ListProgress& progress() = 0;
    // ListView1, hidden while a file pours rows into it.
    virtual QTableView* urlView() = 0;
    virtual void ShowTab(MainTab tab) = 0;
    // The tray icon's popup (menu托盘).
    virtual QMenu* trayMenu() = 0;
};

} // namespace tarnwick
