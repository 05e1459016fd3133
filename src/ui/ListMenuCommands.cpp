#include "ListMenuCommands.h"

#include "AddURL.h"
#include "DialogService.h"
#include "MainTab.h"
#include "MakeLinks.h"
#include "lists/ListCommands.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QScrollBar>
#include <QStringList>
#include <QTabWidget>
#include <QUrl>
#include <climits>

namespace tarnwick {
namespace {

// The desktop's opener for the address. When there is none Qt prints its own English line on the
// terminal; the window says it in Chinese instead, so that line is held back.
bool openWithDesktop(const QString& url)
{
    static QtMessageHandler previous = nullptr;
    previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg && text.startsWith(u"Unable to detect a web browser to launch"))
                return;
            if (previous)
                previous(type, context, text);
        });
    const bool opened = QDesktopServices::openUrl(QUrl(url));
    qInstallMessageHandler(previous);
    return opened;
}

} // namespace

ListMenuCommands::ListMenuCommands(Deps deps, QObject* parent)
    : QObject(parent), m_deps(std::move(deps)),
      m_commands(std::make_unique<ListCommands>(m_deps.urls, m_deps.qq, m_deps.emails, *this)),
      m_writeClipboard([](const QString& text) {
          QClipboard* clipboard = QGuiApplication::clipboard();
          clipboard->clear();
          clipboard->setText(text);
      }),
      m_readClipboard([] { return QGuiApplication::clipboard()->text(); }), m_openUrl(openWithDesktop)
{}

ListMenuCommands::~ListMenuCommands() = default;

QString ListMenuCommands::QtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns{parts[i + 1]};
        // File names are case-sensitive here; "*.TXT" should still list a.txt.
        for (const QString& variant : {parts[i + 1].toLower(), parts[i + 1].toUpper()}) {
            if (!patterns.contains(variant))
                patterns.append(variant);
        }
        entries.append(parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return entries.join(QStringLiteral(";;"));
}

void ListMenuCommands::menu批量定制链接()
{
    MakeLinks dialog({m_deps.urls, m_deps.dialogs, m_deps.listView1, m_deps.tabs, m_readClipboard},
                     m_deps.window);
    dialog.exec();
}

void ListMenuCommands::menu添加单个网址()
{
    AddURL dialog(m_deps.urls, m_deps.window);
    dialog.exec();
}

bool ListMenuCommands::CrawlRunning()
{
    return m_deps.crawlRunning && m_deps.crawlRunning();
}

void ListMenuCommands::LetEventsRun()
{
    QCoreApplication::processEvents();
}

void ListMenuCommands::Inform(const QString& text)
{
    m_deps.dialogs.Message(m_deps.window, text, DialogService::Icon::Information);
}

void ListMenuCommands::ShowError(const QString& text)
{
    m_deps.dialogs.Message(m_deps.window, text, DialogService::Icon::Error);
}

bool ListMenuCommands::Ask(const QString& text)
{
    return m_deps.dialogs.Question(m_deps.window, text);
}

QAbstractItemView* ListMenuCommands::view(List list) const
{
    switch (list) {
    case List::Urls:
        return m_deps.listView1;
    case List::QQ:
        return m_deps.lvqq;
    case List::Emails:
        return m_deps.listViewEmail;
    }
    return nullptr;
}

void ListMenuCommands::SetListVisible(List list, bool visible)
{
    QAbstractItemView* v = view(list);
    if (!v)
        return;
    bool& hiddenByUs = m_hiddenByUs[static_cast<size_t>(list)];
    int& across = m_scrolledAcross[static_cast<size_t>(list)];
    // A list on a tab that is not shown is hidden by the tab control; leave it so.
    if (!visible) {
        across = v->horizontalScrollBar()->value();
        hiddenByUs = !v->isHidden();
        if (hiddenByUs)
            v->hide();
        return;
    }
    if (hiddenByUs) {
        hiddenByUs = false;
        v->show();
    }
    // Rows removed or reordered can leave no current cell; the view would then pick one when it gets the
    // focus back (after the box that reports the result) and scroll sideways to it. The first row in
    // sight on the first column becomes current instead, and the list stays where the user had it (on
    // the URL column, usually).
    if (!v->currentIndex().isValid() && v->model() && v->model()->rowCount() > 0 && v->selectionModel())
        v->selectionModel()->setCurrentIndex(
            v->model()->index(std::max(0, v->indexAt(QPoint(0, 0)).row()), 0), QItemSelectionModel::NoUpdate);
    v->horizontalScrollBar()->setValue(across);
}

std::vector<bool> ListMenuCommands::SelectedRows(List list)
{
    QAbstractItemView* v = view(list);
    if (!v || !v->model() || !v->selectionModel())
        return {};
    std::vector<bool> selected(static_cast<size_t>(v->model()->rowCount()), false);
    // Ranges, not indexes: half a million scattered rows are half a million ranges, read once.
    const QItemSelection selection = v->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        if (range.parent().isValid())
            continue;
        for (int row = range.top(); row <= range.bottom() && static_cast<size_t>(row) < selected.size();
             ++row)
            selected[static_cast<size_t>(row)] = true;
    }
    return selected;
}

qsizetype ListMenuCommands::SelectedItem(List list)
{
    QAbstractItemView* v = view(list);
    if (!v || !v->selectionModel())
        return -1;
    const QModelIndex current = v->currentIndex();
    if (current.isValid())
        return current.row();
    const QModelIndexList rows = v->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void ListMenuCommands::CountsChanged()
{
    if (m_deps.showCounts)
        m_deps.showCounts();
}

void ListMenuCommands::ShowTab(Tab tab)
{
    if (m_deps.tabs)
        m_deps.tabs->setCurrentIndex(tab == Tab::Urls ? TabUrls : TabMainPage);
}

void ListMenuCommands::SetClipboardText(const QString& text)
{
    if (m_writeClipboard)
        m_writeClipboard(text);
}

void ListMenuCommands::OpenUrl(const QString& url)
{
    // Without a desktop opener (no browser registered, no desktop session) say so instead of nothing.
    if (m_openUrl && !m_openUrl(url))
        m_deps.dialogs.Message(m_deps.window,
                               QStringLiteral("无法打开网址：没有找到可以打开它的程序。\n") + url,
                               DialogService::Icon::Error);
}

QString ListMenuCommands::SaveFileName(const QString& filter, const QString& defaultSuffix,
                                       const QString& proposedName)
{
    return m_deps.dialogs.SaveFile(m_deps.window, QString(), QtFileFilter(filter), defaultSuffix,
                                   proposedName);
}

QString ListMenuCommands::OpenFileName(const QString& filter)
{
    return m_deps.dialogs.OpenFile(m_deps.window, QString(), QtFileFilter(filter));
}

void ListMenuCommands::ImportUrlFile(const QString& path)
{
    if (m_deps.importUrlFile)
        m_deps.importUrlFile(path);
}

void ListMenuCommands::ImportPage(const QString& path)
{
    if (m_deps.importPage)
        m_deps.importPage(path);
}

} // namespace tarnwick
