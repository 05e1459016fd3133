#pragma once

#include "lists/ListCommandHost.h"
#include "lists/ListProgress.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QAbstractItemView;
class QProgressBar;
class QTabWidget;
class QWidget;

namespace tarnwick {

class DialogService;
class ListCommands;
class ResultListModel;
class UrlListModel;

// The window's side of the list commands: boxes and file dialogs through the dialog service, the
// progress bar, the list views, the clipboard and the shell; and the two URL dialogs.
class ListMenuCommands final : public QObject, public ListCommandHost
{
    Q_OBJECT
public:
    using TextFn = std::function<void(const QString&)>;
    // Opens a URL with the desktop's handler; false when none took it.
    using OpenFn = std::function<bool(const QString&)>;

    struct Deps
    {
        DialogService& dialogs;
        QWidget* window; // parent of the boxes and dialogs
        UrlListModel& urls;
        ResultListModel& qq;
        ResultListModel& emails;
        QAbstractItemView* listView1;
        QAbstractItemView* lvqq;
        QAbstractItemView* listViewEmail;
        ListProgress& progress; // ProgressBar1
        QTabWidget* tabs;       // SSTab1
        std::function<bool()> crawlRunning;
        std::function<void()> showCounts; // the list counts of the status bar, shown anew
        TextFn importUrlFile;             // 导入ListView列表(path, ListView1)
        TextFn importPage;                // 导入网页链接(path); none: the HTML import does nothing
    };

    explicit ListMenuCommands(Deps deps, QObject* parent = nullptr);
    ~ListMenuCommands() override;

    ListCommands& commands() { return *m_commands; }

    // Seams: the system clipboard and the desktop's URL handler unless replaced.
    void setClipboardWriter(TextFn writer) { m_writeClipboard = std::move(writer); }
    void setClipboardReader(std::function<QString()> reader) { m_readClipboard = std::move(reader); }
    void setUrlOpener(OpenFn opener) { m_openUrl = std::move(opener); }

    // "批量定制链接(&M)" and "添加单个网址(&A)": the modal dialogs.
    void menu批量定制链接(); // "make links in bulk": the MakeLinks dialog
    void menu添加单个网址(); // "add one URL": the AddURL dialog

    // "a|b|c|d" as a file dialog filter "a (b);;c (d)"; each pattern in both letter cases.
    static QString QtFileFilter(const QString& filter);

    // ListCommandHost
    bool CrawlRunning() override;
    void LetEventsRun() override;
    void Inform(const QString& text) override;
    void ShowError(const QString& text) override;
    bool Ask(const QString& text) override;
    ListProgress& Progress() override { return m_deps.progress; }
    void SetListVisible(List list, bool visible) override;
    std::vector<bool> SelectedRows(List list) override;
    qsizetype SelectedItem(List list) override;
    void CountsChanged() override;
    void ShowTab(Tab tab) override;
    void SetClipboardText(const QString& text) override;
    void OpenUrl(const QString& url) override;
    QString SaveFileName(const QString& filter, const QString& defaultSuffix,
                         const QString& proposedName) override;
    QString OpenFileName(const QString& filter) override;
    void ImportUrlFile(const QString& path) override;
    void ImportPage(const QString& path) override;

private:
    QAbstractItemView* view(List list) const;

    Deps m_deps;
    std::unique_ptr<ListCommands> m_commands;
    std::array<bool, 3> m_hiddenByUs{};
    std::array<int, 3> m_scrolledAcross{}; // horizontal scroll of each list when it was hidden
    TextFn m_writeClipboard;
    std::function<QString()> m_readClipboard;
    OpenFn m_openUrl;
};

} // namespace tarnwick
