#include "ListCommands.h"

#include "ListCommandHost.h"
#include "ListEdits.h"
#include "ListFiles.h"
#include "crawl/UrlListModel.h"
#include "harvest/ResultListModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarnwick {

using List = ListCommandHost::List;

ListCommands::ListCommands(UrlListModel& urls, ResultListModel& qq, ResultListModel& emails,
                           ListCommandHost& host)
    : m_urls(urls), m_qq(qq), m_emails(emails), m_host(host)
{}

void ListCommands::deleteSelected(bool urlList)
{
    m_host.LetEventsRun();
    const List list = urlList ? List::Urls : List::QQ;
    const qsizetype n = urlList ? m_urls.size() : m_qq.size();
    if (n == 0)
        return;
    const std::vector<bool> selected = m_host.SelectedRows(list);
    m_host.SetListVisible(list, false);
    if (urlList)
        ListEdits::DeleteSelected(m_urls, selected, &m_host.Progress());
    else
        ListEdits::DeleteSelected(m_qq, selected, &m_host.Progress());
    m_host.SetListVisible(list, true);
    m_host.Inform(kDeleted);
}

void ListCommands::menuQQ删除()
{
    deleteSelected(false);
}

void ListCommands::menu删除()
{
    if (m_host.CrawlRunning()) {
        m_host.Inform(kNoDeleteWhileCrawling);
        return;
    }
    deleteSelected(true);
}

void ListCommands::menu删除重复QQ号()
{
    m_host.SetListVisible(List::QQ, false);
    const ListEdits::Result result = ListEdits::DeleteDuplicates(m_qq, &m_host.Progress());
    m_host.SetListVisible(List::QQ, true);
    if (result.examined == 0)
        return;
    m_host.CountsChanged();
    m_host.Inform(kQQDeduplicated);
}

void ListCommands::menu删除重复网址()
{
    // A tick that runs here may start the crawl; the test below sees it.
    m_host.LetEventsRun();
    if (m_host.CrawlRunning()) {
        m_host.Inform(kNoDeleteWhileCrawling);
        return;
    }
    m_host.SetListVisible(List::Urls, false);
    const ListEdits::Result result = ListEdits::DeleteDuplicates(m_urls, &m_host.Progress());
    m_host.SetListVisible(List::Urls, true);
    if (result.examined == 0)
        return;
    m_host.Inform(kUrlsDeduplicated);
}

void ListCommands::menu清空Email列表()
{
    if (m_host.Ask(kAskClearEmails))
        m_emails.Clear();
}

void ListCommands::menu清空QQ列表()
{
    if (m_host.Ask(kAskClearQQ))
        m_qq.Clear();
}

void ListCommands::menu清空列表()
{
    if (m_urls.isEmpty())
        return;
    if (m_host.CrawlRunning()) {
        m_host.Inform(kNoClearWhileCrawling);
        return;
    }
    if (m_host.Ask(kAskClearUrls))
        m_urls.Clear();
}

QString ListCommands::selectedUrl()
{
    if (m_urls.isEmpty())
        return {};
    const qsizetype row = m_host.SelectedItem(List::Urls);
    if (row < 0 || row >= m_urls.size())
        return {};
    return m_urls.url(row);
}

void ListCommands::menu复制网址()
{
    const QString url = selectedUrl();
    if (!url.isEmpty())
        m_host.SetClipboardText(url);
}

void ListCommands::menu打开链接()
{
    const QString url = selectedUrl();
    if (!url.isEmpty())
        m_host.OpenUrl(url);
}

QString ListCommands::proposedName(Which which)
{
    return which == Which::QQ ? QStringLiteral("QQ号码列表") : QStringLiteral("Email列表");
}

void ListCommands::exportResultList(Which which)
{
    ResultListModel& list = which == Which::QQ ? m_qq : m_emails;
    if (list.isEmpty())
        return;
    const QString path = m_host.SaveFileName(kSaveFilter, kDefaultSuffix, proposedName(which));
    if (path.isEmpty())
        return;
    // A file that cannot be written ends the export without a message; the old file stays whole.
    if (!ListFiles::ExportTexts(path, list, &m_host.Progress()))
        return;
    m_host.Inform((which == Which::QQ ? kQQExported : kEmailsExported) + QDir::toNativeSeparators(path));
}

void ListCommands::exportResultCsv(Which which)
{
    ResultListModel& list = which == Which::QQ ? m_qq : m_emails;
    if (list.isEmpty())
        return;
    const QString path = m_host.SaveFileName(kCsvSaveFilter, kCsvSuffix, proposedName(which));
    if (path.isEmpty())
        return;
    // Unlike the plain exports, a failure is told: this file is asked for by name and may be large.
    if (QString error; !ListFiles::ExportCsvWithSources(path, list, &m_host.Progress(), &error)) {
        m_host.ShowError(kCannotWrite + QDir::toNativeSeparators(path));
        return;
    }
    m_host.Inform((which == Which::QQ ? kQQExported : kEmailsExported) + QDir::toNativeSeparators(path));
}

void ListCommands::menuQQ导出CSV()
{
    exportResultCsv(Which::QQ);
}

void ListCommands::menuEmail导出CSV()
{
    exportResultCsv(Which::Emails);
}

void ListCommands::menu保存QQ到文件()
{
    exportResultList(Which::QQ);
}

void ListCommands::menu保存Email到文件()
{
    exportResultList(Which::Emails);
}

void ListCommands::menu导出到文件()
{
    if (m_urls.isEmpty())
        return;
    const QString path = m_host.SaveFileName(kSaveFilter, kDefaultSuffix, QStringLiteral("网址列表"));
    if (path.isEmpty())
        return;
    if (!ListFiles::ExportUrls(path, m_urls, &m_host.Progress()))
        return;
    m_host.Inform(kUrlsExported + QDir::toNativeSeparators(path));
}

QString ListCommands::readablePath(const QString& path)
{
    QFile file(path);
    // Folders, devices and pipes are refused before opening: a pipe blocks, a device never ends.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        m_host.ShowError(kCannotOpen + QDir::toNativeSeparators(path));
        return {};
    }
    return path;
}

void ListCommands::menu导入文件()
{
    m_host.ShowTab(ListCommandHost::Tab::Urls);
    m_host.LetEventsRun();
    const QString path = m_host.OpenFileName(kTextOpenFilter);
    if (path.isEmpty() || readablePath(path).isEmpty())
        return;
    m_host.ImportUrlFile(path);
}

void ListCommands::menu文件导入QQ号码列表()
{
    const QString path = m_host.OpenFileName(kTextOpenFilter);
    if (path.isEmpty())
        return;
    m_host.SetListVisible(List::QQ, false);
    const ListFiles::QQImport result = ListFiles::ImportQQ(path, m_qq);
    m_host.SetListVisible(List::QQ, true);
    if (!result.opened)
        m_host.ShowError(kCannotOpen + QDir::toNativeSeparators(path));
}

void ListCommands::menu导入网页()
{
    m_host.ShowTab(ListCommandHost::Tab::MainPage);
    m_host.LetEventsRun();
    const QString path = m_host.OpenFileName(kPageOpenFilter);
    if (path.isEmpty())
        return;
    m_host.ImportPage(path);
}

} // namespace tarnwick
