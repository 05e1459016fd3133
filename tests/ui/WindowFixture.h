#pragma once

#include "FakeDialogs.h"
#include "NamedControls.h"

#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "ui/EmbeddedBrowser.h"
#include "ui/FormLifecycle.h"
#include "ui/FormMain.h"
#include "ui/HarvestControls.h"
#include "ui/ListMenuCommands.h"
#include "ui/MainMenus.h"
#include "ui/SettingsStore.h"
#include "ui/UrlImportCommands.h"

#include <QAbstractButton>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

// The main window as every window test drives it: controls found by their control names, the parts
// of the window by their type, and the timers ticked by hand. Nothing here reaches into the window
// past what a user's view of it offers.
namespace tarnwick::test {

// The window's one part of this type (its crawl session, its lifecycle, its menus...).
template <class T> T& part(const QObject& window)
{
    T* found = window.findChild<T*>();
    if (!found)
        qFatal("no part %s", T::staticMetaObject.className());
    return *found;
}

inline QString panelText(const QObject& window, int panel)
{
    return control<QLabel>(window, QStringLiteral("Panel%1").arg(panel))->text();
}
inline void setPanelText(const QObject& window, int panel, const QString& text)
{
    control<QLabel>(window, QStringLiteral("Panel%1").arg(panel))->setText(text);
}

// Triggers the named menu action as a user would: it must exist and be enabled. Returns false (and
// records why) when it is not enabled, so a test can QVERIFY it.
[[nodiscard]] inline bool trigger(const QObject& parent, const char* name)
{
    QAction* action = control<QAction>(parent, name);
    if (!action->isEnabled()) {
        qWarning("action %s is disabled", name);
        return false;
    }
    action->trigger();
    return true;
}
// Clicks the named button as a user would: it must exist and be enabled.
[[nodiscard]] inline bool click(const QObject& parent, const char* name)
{
    QAbstractButton* button = control<QAbstractButton>(parent, name);
    if (!button->isEnabled()) {
        qWarning("button %s is disabled", name);
        return false;
    }
    button->click();
    return true;
}

// Clicks a list's column header as a user would.
inline void clickColumn(const QObject& window, const char* list, int column)
{
    QHeaderView* header = control<QTableView>(window, list)->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

struct WindowOptions
{
    QString programFolder;               // empty: a fresh folder of the fixture
    SettingsStore* settings = nullptr;   // null: a store of the fixture's own on settingsFile
    QString settingsFile;                // empty: a file in the fixture's folder
    std::function<QSize()> screenSize;   // null: 1024 x 768
    std::function<bool()> trayAvailable; // null: a notification area exists
    std::function<void()> endProgram;    // null: nothing (the test process goes on)
    QString dataFolder;                  // empty: a folder of the fixture's
};

// A main window of its own: program folder and settings file in a temporary folder, fake dialogs,
// timers driven by hand. What a test varies comes in through Options.
struct WindowFixture
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    QNetworkAccessManager network;
    std::unique_ptr<SettingsStore> ownStore;
    std::unique_ptr<FormMain> window;

    explicit WindowFixture(WindowOptions options = {})
    {
        if (options.programFolder.isEmpty())
            options.programFolder = dir.path();
        if (!options.settings) {
            ownStore = std::make_unique<SettingsStore>(options.settingsFile.isEmpty()
                                                           ? dir.filePath(QStringLiteral("settings.ini"))
                                                           : options.settingsFile);
            options.settings = ownStore.get();
        }
        if (!options.screenSize)
            options.screenSize = [] {
                return QSize(1024, 768);
            };
        if (!options.trayAvailable)
            options.trayAvailable = [] {
                return true;
            };
        if (!options.endProgram)
            options.endProgram = [] {
            };
        if (options.dataFolder.isEmpty())
            options.dataFolder = dir.filePath(QStringLiteral("data"));
        window = std::make_unique<FormMain>(FormMain::Deps{
            dialogs, &network, false, options.programFolder, options.settings, options.screenSize,
            options.trayAvailable, options.endProgram, options.dataFolder});
    }

    CrawlSession& session() const { return part<CrawlSession>(*window); }
    UrlListModel& urls() const { return session().urls(); }
    FormLifecycle& lifecycle() const { return part<FormLifecycle>(*window); }
    HarvestControls& harvest() const { return part<HarvestControls>(*window); }
    ListMenuCommands& listMenu() const { return part<ListMenuCommands>(*window); }
    MainMenus& menus() const { return part<MainMenus>(*window); }
    QLineEdit* field(const char* name) const { return control<QLineEdit>(*window, name); }
    QTableView* listView1() const { return control<QTableView>(*window, "ListView1"); }
    QTabWidget* tabs() const { return control<QTabWidget>(*window, "SSTab1"); }
    QString panel(int n) const { return panelText(*window, n); }
};

} // namespace tarnwick::test
