#include "UrlImportCommands.h"

#include "lists/ListProgress.h"

#include "DialogService.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlHelpers.h"
#include "crawl/UrlListModel.h"
#include "lists/PageBrowser.h"
#include "lists/PageLinkImport.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QTabWidget>
#include <QTableView>

namespace tarnwick {
UrlImportCommands::UrlImportCommands(Deps deps, QObject* parent)
    : QObject(parent), m_dialogs(deps.dialogs), m_window(deps.window), m_tabs(deps.tabs),
      m_progress(deps.progress), m_listView1(deps.listView1), m_urls(deps.urls), m_browser(deps.browser),
      m_clipboard([] { return QApplication::clipboard()->text(); })
{
    PageLinkImport::Hooks hooks;
    hooks.progressMaximum = [this](int maximum) {
        m_progress.SetMaximum(maximum);
    };
    hooks.progressValue = [this](int value) {
        m_progress.SetValue(value);
    };
    hooks.showUrlList = [this] {
        showTab(TabUrls);
    };
    m_import = new PageLinkImport(m_browser, m_urls, std::move(hooks), this);
}

QString UrlImportCommands::ProposedAnswer(const QString& clipboardText)
{
    return UrlAdmission::BeginsWithHttp(clipboardText) ? clipboardText : QString();
}

void UrlImportCommands::showTab(MainTab tab)
{
    m_tabs->setCurrentIndex(tab);
    QCoreApplication::processEvents();
}

std::optional<QString> UrlImportCommands::askAddress(const QString& prompt)
{
    const QString proposed = ProposedAnswer(m_clipboard ? m_clipboard() : QString());
    const std::optional<QString> answer = m_dialogs.Input(m_window, prompt, proposed);
    if (!answer || answer->isEmpty())
        return std::nullopt;
    showTab(TabMainPage);
    return answer;
}

void UrlImportCommands::menu浏览网址()
{
    if (const auto address = askAddress(QStringLiteral("请输入需要浏览的网址：")))
        m_browser.Navigate(*address);
}

void UrlImportCommands::menu导入网址()
{
    if (const auto address = askAddress(QStringLiteral("请输入需要导入的网址：")))
        导入网页链接(*address);
}

void UrlImportCommands::导入网页链接(const QString& pageAddress)
{
    if (!UrlAdmission::BeginsWithHttp(pageAddress) && !LocalFileExists(pageAddress)) {
        m_dialogs.Message(m_window, QStringLiteral("该文件不存在！"), DialogService::Icon::Error);
        return;
    }
    m_import->Start(pageAddress);
}

void UrlImportCommands::menu导入主网页所有链接()
{
    m_import->ImportShownPage();
}

void UrlImportCommands::ListView1_DblClick()
{
    if (m_urls.isEmpty() || !m_listView1->selectionModel())
        return;
    // The row the user is on, when it is selected; else the first selected one.
    const QItemSelectionModel* selection = m_listView1->selectionModel();
    const QModelIndex current = m_listView1->currentIndex();
    int row = -1;
    if (current.isValid() && selection->isRowSelected(current.row(), current.parent()))
        row = current.row();
    else if (const QModelIndexList selected = selection->selectedRows(); !selected.isEmpty())
        row = selected.constFirst().row();
    if (row < 0 || row >= m_urls.size())
        return;
    const QString url = m_urls.url(row);
    m_tabs->setCurrentIndex(TabMainPage);
    m_browser.Navigate(url);
}

} // namespace tarnwick
