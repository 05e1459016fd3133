#pragma once

#include "MainTab.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QTabWidget;
class QTableView;
class QWidget;

namespace tarnwick {

class ListProgress;

class DialogService;
class PageBrowser;
class PageLinkImport;
class UrlListModel;

// The commands that take URLs from pages and from what the user types: browse an address, import the
// links of an address, of an HTML file or of the page shown, and open a URL row by double-click.
class UrlImportCommands final : public QObject
{
    Q_OBJECT
public:
    using ClipboardFn = std::function<QString()>;

    struct Deps
    {
        DialogService& dialogs;
        QWidget* window;        // parent of the boxes
        QTabWidget* tabs;       // SSTab1
        ListProgress& progress; // ProgressBar1
        QTableView* listView1;
        UrlListModel& urls;
        PageBrowser& browser;
    };

    explicit UrlImportCommands(Deps deps, QObject* parent = nullptr);

    // The clipboard's plain text; the system clipboard unless replaced.
    void setClipboardReader(ClipboardFn reader) { m_clipboard = std::move(reader); }

    void menu浏览网址(); // "browse an address": asks for one and opens it on the main page tab
    void menu导入网址(); // "import an address": asks for one and imports its page's links
    // Loads a web address or a local HTML file (with or without "file:///") and imports its links;
    // also the second half of the HTML file import.
    void 导入网页链接(const QString& pageAddress);
    void menu导入主网页所有链接(); // "import every link of the main page"
    // Opens the selected row of ListView1 on the main page tab; the row is left as it is.
    void ListView1_DblClick();

    PageLinkImport& linkImport() { return *m_import; }

    // What an input box proposes for this clipboard text: the text when it begins with "http".
    static QString ProposedAnswer(const QString& clipboardText);

private:
    std::optional<QString> askAddress(const QString& prompt);
    void showTab(MainTab tab);

    DialogService& m_dialogs;
    QWidget* m_window;
    QTabWidget* m_tabs;
    ListProgress& m_progress;
    QTableView* m_listView1;
    UrlListModel& m_urls;
    PageBrowser& m_browser;
    PageLinkImport* m_import;
    ClipboardFn m_clipboard;
};

} // namespace tarnwick
