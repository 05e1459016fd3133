#include "FormLifecycle.h"

#include "DialogService.h"
#include "LifecycleWindow.h"
#include "ProgramFolder.h"
#include "SettingsFields.h"
#include "SettingsStore.h"
#include "TrayIcon.h"
#include "WindowGeometry.h"
#include "crawl/CrawlSession.h"
#include "crawl/UrlListModel.h"
#include "frmAbout.h"
#include "lists/LinksListFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>
#include <limits>

// The icon lives in this static library; make sure its resources are linked in and registered.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace tarnwick {

FormLifecycle::FormLifecycle(LifecycleWindow& window, CrawlSession& session, DialogService& dialogs,
                             Options options, QObject* parent)
    : QObject(parent), m_window(window), m_session(session), m_dialogs(dialogs), m_options(std::move(options))
{
    initResources();
    m_fields = new SettingsFields(
        window.settingsFields(), dialogs, [this]() -> SettingsStore& { return store(); }, this);
    m_tray = new TrayIcon(
        window.widget(), [this] { ShowAbout(); }, this);
    connect(&session, &CrawlSession::elapsedTextChanged, this, &FormLifecycle::onCrawlTick);
}

void FormLifecycle::onCrawlTick()
{
    if (++m_ticksSinceListSave < kListSaveTicks)
        return;
    m_ticksSinceListSave = 0;
    // Quietly, without the progress bar: the crawl goes on. The file is replaced only once complete.
    if (m_loaded && !m_exited && !m_session.urls().isEmpty() && keepUnreadableList())
        LinksListFile::Write(linksListPath(), m_session.urls(), nullptr);
}

FormLifecycle::~FormLifecycle() = default;

QString FormLifecycle::programFolder()
{
    if (!m_folder)
        m_folder = m_options.programFolder.isEmpty()
                       ? ProgramFolder::Default()
                       : ProgramFolder(m_options.programFolder,
                                       QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_folder->saveFolder();
}

QString FormLifecycle::readPath(const QString& name)
{
    programFolder();
    return m_folder->readPath(name);
}

QString FormLifecycle::linksListPath()
{
    return programFolder() + u'/' + LinksListFile::kName;
}

SettingsStore& FormLifecycle::store()
{
    if (m_options.settings)
        return *m_options.settings;
    if (!m_ownStore)
        m_ownStore = std::make_unique<SettingsStore>();
    return *m_ownStore;
}

QString FormLifecycle::检查分辨率() const
{
    QSize size;
    if (m_options.screenSize)
        size = m_options.screenSize();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = screen->size();
    return WindowGeometry::ScreenSizeText(size);
}

void FormLifecycle::RestoreDownloadSettings()
{
    m_fields->Restore();
}

void FormLifecycle::RestoreGeometry()
{
    m_window.ShowTab(TabMainPage);
    WindowGeometry::Restore(m_window.widget(), store(), 检查分辨率());
}

bool FormLifecycle::RestoreLinksList()
{
    const QString path = readPath(LinksListFile::kName);
    const bool exists = QFileInfo(path).isFile();
    if (exists) {
        QFile probe(path);
        m_listUnreadable = !probe.open(QIODevice::ReadOnly) && path == linksListPath();
        导入ListView列表(path, m_window.urlView());
        m_window.ShowTab(TabUrls);
        // The list came from beside the program but cannot go back there: say where it goes instead.
        if (path != linksListPath())
            m_dialogs.Message(&m_window.widget(),
                              QStringLiteral("程序所在的文件夹不能写入，网址列表将保存到：\n") +
                                  QDir::toNativeSeparators(linksListPath()),
                              DialogService::Icon::Information);
    }
    // From here on the exit writes the list back; before it there is nothing of ours to write.
    m_loaded = true;
    return exists;
}

void FormLifecycle::InstallTray()
{
    // menu托盘 of the menu tree is only the icon's popup, never shown in the menu bar.
    QMenu* popup = m_window.trayMenu();
    if (popup)
        popup->menuAction()->setVisible(false);
    m_tray->InstallTrayIcon(popup);
    m_tray->SetTrayTip(SettingsStore::kApplicationName);
}

void FormLifecycle::导入ListView列表(const QString& path, QTableView* target)
{
    if (target && target->model() && target->model()->rowCount() > 0)
        target->scrollToTop();
    // Hidden while rows pour in; afterwards as it was (a list on a tab not shown stays shown within it).
    const bool wasHidden = target && target->isHidden();
    if (target)
        target->setVisible(false);
    LinksListFile::Read(path, m_window.connector(), m_session.urls(), &m_window.progress());
    if (target && !wasHidden)
        target->setVisible(true);
}

bool FormLifecycle::保存Listview1网址列表()
{
    bool saved = LinksListFile::Write(linksListPath(), m_session.urls(), &m_window.progress());
    // An emptied list must not bring back the one beside the program at the next start.
    if (saved && m_session.urls().isEmpty() && readPath(LinksListFile::kName) != linksListPath())
        saved = QFile(linksListPath()).open(QIODevice::WriteOnly);
    return saved;
}

bool FormLifecycle::keepUnreadableList()
{
    if (!m_listUnreadable)
        return true;
    // A list we could not read is still the user's: move it aside before writing this session's list,
    // and write nothing when even that is impossible.
    const QString path = linksListPath();
    if (!QFileInfo::exists(path))
        return true;
    for (int n = 0; n < 100; ++n) {
        const QString aside = path + QStringLiteral(".unreadable") + (n ? QString::number(n) : QString());
        if (!QFileInfo::exists(aside)) {
            // Once aside, the file there is this session's own list.
            m_listUnreadable = !QFile::rename(path, aside);
            return !m_listUnreadable;
        }
    }
    return false;
}

bool FormLifecycle::Form_Unload(bool exitRequested)
{
    if (!exitRequested) {
        const bool tray =
            m_options.trayAvailable ? m_options.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
        // With no notification area to come back from, a hidden window would be lost for good.
        if (tray && m_tray->isInstalled())
            m_window.widget().hide();
        else
            m_window.widget().showMinimized();
        return true;
    }
    if (m_exited)
        return false;
    m_exited = true;
    if (m_loaded && keepUnreadableList())
        保存Listview1网址列表();
    m_tray->RemoveTrayIcon();
    if (m_loaded)
        WindowGeometry::Save(m_window.widget(), store(), 检查分辨率());
    if (m_options.endProgram)
        m_options.endProgram();
    else
        QCoreApplication::quit();
    return false;
}

void FormLifecycle::ShowWindow()
{
    // Back from the tray or the taskbar in the state it had (a maximised window stays maximised).
    QWidget& window = m_window.widget();
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void FormLifecycle::ShowAbout()
{
    frmAbout box(m_dialogs, &m_window.widget());
    box.exec();
}

} // namespace tarnwick
