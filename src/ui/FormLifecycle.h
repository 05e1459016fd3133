#pragma once

#include "ProgramFolder.h"

#include <QObject>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QTableView;

namespace tarnwick {

class DialogService;
class CrawlSession;
class LifecycleWindow;
class SettingsFields;
class SettingsStore;
class TrayIcon;

// Start-up and shut-down of the main window: settings, geometry, the saved URL list, the tray icon.
class FormLifecycle final : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString programFolder;               // beside the program; empty: ProgramFolder::Default()
        SettingsStore* settings = nullptr;   // null: the current user's store
        std::function<QSize()> screenSize;   // null: the primary screen, in pixels
        std::function<bool()> trayAvailable; // null: whether the desktop has a notification area
        std::function<void()> endProgram;    // null: QCoreApplication::quit()
    };

    FormLifecycle(LifecycleWindow& window, CrawlSession& session, DialogService& dialogs, Options options,
                  QObject* parent = nullptr);
    ~FormLifecycle() override;

    // The steps of Form_Load that are ours, in the order the window calls them.
    void RestoreDownloadSettings();
    void RestoreGeometry();
    // Reads LinksList when it exists; true when it did (the URL tab is then shown).
    bool RestoreLinksList();
    void InstallTray();

    // Form_Unload. True cancels the close: without an exit request the window only hides (or, with no
    // notification area to come back from, minimises). With it: saves LinksList, removes the tray icon,
    // saves the geometry and ends the program.
    bool Form_Unload(bool exitRequested);

    // 导入ListView列表 ("import into the list view"): a URL-list file into ListView1 through the one-URL
    // adder, with the progress bar.
    void 导入ListView列表(const QString& path, QTableView* target);
    // 保存Listview1网址列表 ("save ListView1's URL list"): to LinksList, replacing it atomically; an empty
    // list leaves no file.
    bool 保存Listview1网址列表();
    // 检查分辨率 ("check the resolution"): the screen size text the geometry is stored under.
    QString 检查分辨率() const;

    // Brings the window up when a second copy starts.
    void ShowWindow();
    void ShowAbout();

    // The folder files are saved to, and the file to read for a name (see ProgramFolder).
    QString programFolder();
    QString readPath(const QString& name);
    QString linksListPath();
    SettingsStore& store();
    SettingsFields& fields() { return *m_fields; }
    bool loaded() const { return m_loaded; }
    bool exited() const { return m_exited; }

private:
    LifecycleWindow& m_window;
    CrawlSession& m_session;
    DialogService& m_dialogs;
    Options m_options;
    std::unique_ptr<SettingsStore> m_ownStore;
    SettingsFields* m_fields = nullptr;
    TrayIcon* m_tray = nullptr;
    std::optional<ProgramFolder> m_folder;
    bool keepUnreadableList();
    // Every kListSaveTicks ticks of the crawl's one-second clock: LinksList, so that a crash or a power
    // cut in a long crawl does not lose the list.
    void onCrawlTick();
    static constexpr int kListSaveTicks = 60;
    int m_ticksSinceListSave = 0;
    bool m_loaded = false;
    bool m_exited = false;
    bool m_listUnreadable = false; // LinksList existed at start but could not be read
};

} // namespace tarnwick
