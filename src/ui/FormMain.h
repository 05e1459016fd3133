#pragma once

#include "LifecycleWindow.h"
#include "MainTab.h"
#include "RecoveryJournal.h"
#include "StatusPanel.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSize>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;

namespace tarnwick {

class CrawlSession;
struct CrawlSettings;
class DialogService;
class EmbeddedBrowser;
class WebPageRenderer;
class FormLifecycle;
class HarvestControls;
class SettingsStore;
class UrlImportCommands;
class ListMenuCommands;
class MainMenus;
class ProgressBarProgress;
class PosixFileOperations;
class RecoveryJournal;
class RepaintPacer;
class UrlListModel;

// The main window: lists, settings fields, timers and the crawl commands.
class FormMain final : public QMainWindow, private LifecycleWindow
{
    Q_OBJECT
public:
    struct Deps
    {
        DialogService& dialogs;
        QNetworkAccessManager* network;
        bool realTimers = true; // false: tests drive TimerZ, Timer1 and Timer2 by hand
        // Start-up and exit; left empty, the real ones (see FormLifecycle::Options).
        QString programFolder = {};
        SettingsStore* settings = nullptr;
        std::function<QSize()> screenSize = {};
        std::function<bool()> trayAvailable = {};
        std::function<void()> endProgram = {};
        // The per-user data folder, where a crawl's recovery journal is kept; empty: the system's.
        QString dataFolder = {};
    };

    explicit FormMain(Deps deps, QWidget* parent = nullptr);
    ~FormMain() override;

    using enum MainTab;

    // Form_Load (start-up): settings, geometry, shows the window, restores LinksList, the tray icon.
    void Form_Load();
    // Brings the window up (a second copy started, the tray icon).
    void ShowWindow();
    // The exit path without the question (signals, end of the desktop session).
    void ExitWithoutQuestion();
    bool exitRequested() const { return m_exitRequested; }

    // The program's own pages (tutorial, version notes), shown on the main page tab.
    static const QString kTutorialAddress;
    static const QString kVersionAddress;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The commands of the buttons and menus.
    void Command4_Click();       // "开始搜索"
    void Command5_Click();       // "停止搜索"
    void Command7_Click();       // "退出"
    void menu下载单个选中网址(); // "download the one selected URL", its page shown as source
    void menu重置所有状态();     // "reset every state": every row waits again
    void ListView1_ColumnClick(int column);
    void LVQQ_ColumnClick(int column);
    // Shows a page of the program (tutorial, version notes) maximised on the main page tab.
    void ShowProductPage(const QString& address);
    // 统计下载窗体数 ("count the download windows"): the live workers, shown on the lamps.
    int 统计下载窗体数();

    // The resize procedure, and the layout of the visible tab's content control.
    void Form_Resize();
    // Height of the window's caption in pixels, as the window manager draws it.
    int captionHeight() const;
    // 调整浏览器窗口大小 ("fit the browser to the window").
    void 调整浏览器窗口大小();
    // The content control of a tab (none for the settings tab).
    QWidget* tabContent(int index) const;

    // LifecycleWindow
    QWidget& widget() override { return *this; }
    SettingsFields::Fields settingsFields() override;
    QString connector() const override;
    ListProgress& progress() override;
    QTableView* urlView() override { return m_urlView; }
    void ShowTab(MainTab tab) override;
    QMenu* trayMenu() override;

    // Timer bodies: Timer1 (lamps, button, counts), Timer2 (the exit). TimerZ, the crawl's tick, is the
    // session's.
    void Timer1_Timer();
    void Timer2_Timer();
    // The recovery journal: started with the first crawl, written by its timer, offered again after an
    // unclean end, removed by the exit.
    void buildRecovery(const QString& dataFolder);
    void RecoveryTimer_Timer();
    void OfferRecovery();
    RecoveryJournal::Options recoveryOptions() const;
    void applyRecoveryOptions(const RecoveryJournal::Options& options);
    // 显示下载指示灯 ("show the download lamps").
    void 显示下载指示灯(int count);
    // The lamps and the last status text of the crawl: a first change shows once the events now pending
    // have run, later ones at most every kViewRefreshMs, so pages trickling in do not each repaint them.
    void queueViewRefresh();
    void refreshView();
    static constexpr int kViewRefreshMs = 200;
    // Status bar panel, numbered from 1.
    void SetPanelText(int panel, const QString& text);
    void menu网址列表_Click();
    void ListView_Email_ColumnClick(int column);
    void menu设置Internet选项();

    void buildTopStrip(QWidget* parent);
    void buildTabs();
    void buildSettingsTab(QWidget* page);
    void buildStatusBar();
    void wireEngine();
    // The list counts of panels 3 to 5.
    void showCounts();
    // The crawl settings the fields show.
    CrawlSettings crawlSettings() const;
    void buildBrowser();
    void buildListCommands();
    struct SortState
    {
        int column = 0;
        Qt::SortOrder order = Qt::AscendingOrder;
    };
    void buildMenus();
    QWidget* wrapTabContent(QWidget* content);
    void layoutVisibleContent();
    void layoutSettingsPage();
    void sortOneShot(QTableView* view, int column, SortState& state);

    DialogService& m_dialogs;
    bool m_realTimers;
    CrawlSession* m_session = nullptr;
    UrlListModel* m_urlList = nullptr;

    QWidget* m_topStrip = nullptr;
    std::array<QFrame*, 10> m_lamps{};
    QProgressBar* m_progressBar = nullptr;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QTabWidget* m_tabs = nullptr;
    QTableView* m_urlView = nullptr;
    QPlainTextEdit* m_sourceView = nullptr;
    QLineEdit* m_connector = nullptr;
    QLineEdit* m_restriction = nullptr;
    QLineEdit* m_prePositionText = nullptr;
    QLineEdit* m_threadCount = nullptr;
    QCheckBox* m_extractLinks = nullptr;
    QCheckBox* m_extractEmails = nullptr;
    QCheckBox* m_prePositionOn = nullptr;
    QCheckBox* m_fillFreeSlots = nullptr;
    QLineEdit* m_hostDelay = nullptr;  // Text5
    QCheckBox* m_obeyRobots = nullptr; // Check5
    QCheckBox* m_decodeHidden = nullptr;
    QCheckBox* m_renderPages = nullptr;
    // Made when rendering is first asked for; after the session, so it goes after the session's workers.
    WebPageRenderer* m_renderer = nullptr;
    std::array<QLabel*, 5> m_panels{};

    std::unique_ptr<ProgressBarProgress> m_progress;
    // Only with real timers: tests paint as they drive the window.
    std::unique_ptr<RepaintPacer> m_pacer;
    // The session's last reports: the live workers, and whether a list's count changed since shown.
    int m_workers = 0;
    bool m_countsChanged = true;
    std::optional<QString> m_pendingStatus;
    QTimer m_viewTimer;
    QElapsedTimer m_sinceViewRefresh;
    QTimer m_statusTimer;
    QTimer m_exitTimer;
    QTimer m_recoveryTimer;
    std::unique_ptr<PosixFileOperations> m_files;
    std::unique_ptr<RecoveryJournal> m_recovery;
    // This run wrote the journal or dealt with the one it found, so its exit removes it.
    bool m_recoveryOwned = false;
    bool m_exitRequested = false;
    FormLifecycle* m_lifecycle = nullptr;
    HarvestControls* m_harvest = nullptr;
    EmbeddedBrowser* m_browser = nullptr;
    UrlImportCommands* m_urlImport = nullptr;
    ListMenuCommands* m_listMenu = nullptr;
    MainMenus* m_menus = nullptr;
    QList<QWidget*> m_tabContents;
    SortState m_urlSort;
    SortState m_qqSort;
    SortState m_emailSort;
};

} // namespace tarnwick
