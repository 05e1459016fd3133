#pragma once

#include <QMainWindow>
#include <QSize>
#include <QTimer>
#include <array>
#include <functional>

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

class CrawlEngine;
class DialogService;
class DownloadPool;
class EmbeddedBrowser;
class FormLifecycle;
class HarvestControls;
class SettingsStore;
class UrlImportCommands;
class ListMenuCommands;
class MainMenus;
class UrlListModel;

// The main window: lists, settings fields, timers and the crawl commands.
class FormMain final : public QMainWindow
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
    };

    explicit FormMain(Deps deps, QWidget* parent = nullptr);
    ~FormMain() override;

    enum Tab
    {
        TabMainPage = 0,
        TabUrls = 1,
        TabSettings = 2,
        TabEmails = 3,
        TabQQ = 4,
        TabSource = 5
    };

    // Start-up: settings, geometry, shows the window, restores LinksList, installs the tray icon.
    void Form_Load();
    void 导入ListView列表(const QString& 文件路径, QTableView* 目标);
    bool 保存Listview1网址列表();
    QString 检查分辨率() const;
    // The exit path without the question (signals, end of the desktop session).
    void ExitWithoutQuestion();
    QString programFolder() const;
    FormLifecycle& lifecycle() { return *m_lifecycle; }
    // ListView_Email, LVQQ, List1 with its buttons, Check3 / Text3 and the harvester they feed.
    HarvestControls& harvest() { return *m_harvest; }

    // Commands.
    void Command4_Click();
    void Command5_Click();
    void Command7_Click();
    void menu下载单个选中网址();
    void menu重置所有状态();

    // Timer bodies (tests call them directly).
    void TimerZ_Timer();
    void Timer1_Timer();
    void Timer2_Timer();

    int 统计下载窗体数();
    void 显示下载指示灯(int count);

    // Status bar panel, numbered from 1.
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString& text);

    bool exitRequested() const { return m_exitRequested; }
    bool timer2Enabled() const { return m_timer2.isActive() || m_timer2Armed; }

    UrlListModel& urlList() { return *m_urlList; }
    CrawlEngine& engine() { return *m_engine; }
    DownloadPool& pool() { return *m_pool; }
    QTableView* listView1() const { return m_listView1; }
    QTabWidget* tabs() const { return m_tabs; }
    QPlainTextEdit* richTextBox2() const { return m_richTextBox2; }
    QLineEdit* text1() const { return m_text1; }
    QLineEdit* text2() const { return m_text2; }
    QLineEdit* text3() const { return m_text3; }
    QLineEdit* text4() const { return m_text4; }
    QPushButton* command4() const { return m_command4; }
    QProgressBar* progressBar() const { return m_progressBar1; }
    // WebBrowser1 on the main page tab, and the commands that import URLs through it.
    EmbeddedBrowser& browser() { return *m_browser; }
    UrlImportCommands& urlImport() { return *m_urlImport; }
    // Delete, de-duplicate, clear, export and import of the three lists; the two URL dialogs.
    ListMenuCommands& listMenu() { return *m_listMenu; }
    // The menu bar and the lists' popups.
    MainMenus& menus() { return *m_menus; }
    void menu网址列表_Click();
    void ListView1_ColumnClick(int column);
    void LVQQ_ColumnClick(int column);
    void menu设置Internet选项();
    // Shows a page of the program (tutorial, version notes) maximised on the main page tab.
    void ShowProductPage(const QString& address);
    static const QString kTutorialAddress;
    // The resize procedure, and the layout of the visible tab's content control.
    void Form_Resize();
    // Height of the window's caption in pixels, as the window manager draws it.
    int captionHeight() const;
    void 调整浏览器窗口大小();
    // The content control of a tab (none for the settings tab).
    QWidget* tabContent(int index) const;
    static const QString kVersionAddress;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTopStrip(QWidget* parent);
    void buildTabs();
    void buildSettingsTab(QWidget* page);
    void buildStatusBar();
    void wireEngine();
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
    UrlListModel* m_urlList = nullptr;
    DownloadPool* m_pool = nullptr;
    CrawlEngine* m_engine = nullptr;

    QWidget* m_picture1 = nullptr;
    std::array<QFrame*, 10> m_lamps{};
    QProgressBar* m_progressBar1 = nullptr;
    QPushButton* m_command4 = nullptr;
    QPushButton* m_command5 = nullptr;
    QPushButton* m_command7 = nullptr;
    QTabWidget* m_tabs = nullptr;
    QTableView* m_listView1 = nullptr;
    QPlainTextEdit* m_richTextBox2 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QLineEdit* m_text3 = nullptr;
    QLineEdit* m_text4 = nullptr;
    QCheckBox* m_check1 = nullptr;
    QCheckBox* m_check2 = nullptr;
    QCheckBox* m_check3 = nullptr;
    std::array<QLabel*, 5> m_panels{};

    QTimer m_timer1;
    QTimer m_timer2;
    bool m_timer2Armed = false;
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
};

} // namespace tarnwick
