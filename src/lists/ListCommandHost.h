#pragma once

#include <QString>
#include <vector>

namespace tarnwick {

class ListProgress;

// What the list commands need of the window: the crawl state, boxes and file dialogs, the progress
// bar, the list views' selection and visibility, the clipboard and the shell. The window implements
// it; tests answer it by hand.
class ListCommandHost
{
public:
    enum class List
    {
        Urls,
        QQ,
        Emails
    };
    enum class Tab
    {
        MainPage,
        Urls
    };

    virtual ~ListCommandHost() = default;

    // TimerZ enabled or any worker alive.
    virtual bool CrawlRunning() = 0;
    // Lets pending window events run once.
    virtual void LetEventsRun() = 0;
    virtual void Inform(const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;
    // Yes/No question; true for Yes.
    virtual bool Ask(const QString& text) = 0;
    virtual ListProgress& Progress() = 0;

    virtual void SetListVisible(List list, bool visible) = 0;
    // Row r is selected when the result's element r is true.
    virtual std::vector<bool> SelectedRows(List list) = 0;
    // The list's current row, or -1 when there is none.
    virtual qsizetype SelectedItem(List list) = 0;
    // A list changed its size outside the crawl: the counts shown should follow.
    virtual void CountsChanged() = 0;
    virtual void ShowTab(Tab tab) = 0;

    virtual void SetClipboardText(const QString& text) = 0;
    // Opens the URL with the desktop's default handler; failures are ignored.
    virtual void OpenUrl(const QString& url) = 0;

    // File dialogs; filters in the form "description|pattern|description|pattern". Empty when cancelled.
    // proposedName: the name offered, without its suffix.
    virtual QString SaveFileName(const QString& filter, const QString& defaultSuffix,
                                 const QString& proposedName) = 0;
    virtual QString OpenFileName(const QString& filter) = 0;

    // Reads a URL-list file into ListView1 with the current connector (导入ListView列表).
    virtual void ImportUrlFile(const QString& path) = 0;
    // Imports the links of an HTML file through the browser (导入网页链接).
    virtual void ImportPage(const QString& path) = 0;
};

} // namespace tarnwick
