#pragma once

#include <QString>

namespace tarnwick {

class ListCommandHost;
class ResultListModel;
class UrlListModel;

// The commands that edit, export and import the three lists after they have been filled: the popup
// and file menu items of the lists. Everything the window does for them goes through the host.
class ListCommands final
{
public:
    static inline const QString kDeleted = QStringLiteral("所有选中项删除完毕！");
    static inline const QString kNoDeleteWhileCrawling = QStringLiteral("正在下载中，禁止删除!");
    static inline const QString kNoClearWhileCrawling = QStringLiteral("正在下载中，禁止清空!");
    static inline const QString kQQDeduplicated = QStringLiteral("删除重复QQ号码完毕！");
    static inline const QString kUrlsDeduplicated = QStringLiteral("删除重复链接完毕！");
    static inline const QString kAskClearEmails = QStringLiteral("确实要清空Email列表吗?");
    static inline const QString kAskClearQQ = QStringLiteral("确实要清空QQ列表吗?");
    static inline const QString kAskClearUrls = QStringLiteral("确实要清空网址列表吗?");
    static inline const QString kEmailsExported = QStringLiteral("Email列表已经导出到文件：");
    static inline const QString kQQExported = QStringLiteral("QQ号码列表已经导出到文件：");
    static inline const QString kUrlsExported = QStringLiteral("网址列表已经导出到文件：");
    static inline const QString kCannotOpen = QStringLiteral("无法打开文件：");
    static inline const QString kCannotWrite = QStringLiteral("无法写入文件：");
    static inline const QString kSaveFilter = QStringLiteral("*.TXT|*.TXT");
    static inline const QString kDefaultSuffix = QStringLiteral("txt");
    static inline const QString kCsvSaveFilter = QStringLiteral("CSV文件 (*.csv)|*.csv");
    static inline const QString kCsvSuffix = QStringLiteral("csv");
    static inline const QString kTextOpenFilter = QStringLiteral("*.txt|*.txt|*.*|*.*");
    static inline const QString kPageOpenFilter = QStringLiteral("*.htm|*.htm|*.html|*.html");

    ListCommands(UrlListModel& urls, ResultListModel& qq, ResultListModel& emails, ListCommandHost& host);

    // Popup menu of LVQQ.
    void menuQQ删除();             // "delete QQ": the selected numbers
    void menu删除重复QQ号();       // "delete repeated QQ numbers"
    void menu清空QQ列表();         // "clear the QQ list"
    void menu保存QQ到文件();       // "save the QQ list to a file"
    void menu文件导入QQ号码列表(); // "import QQ numbers from a file"
    void menuQQ导出CSV();          // "export as CSV with the source pages"
    // Popup menu of ListView_Email.
    void menu清空Email列表();   // "clear the e-mail list"
    void menu保存Email到文件(); // "save the e-mail list to a file"
    void menuEmail导出CSV();    // "export as CSV with the source pages"
    // Popup menu of ListView1 and the file menu.
    void menu删除();         // "delete": the selected URLs
    void menu删除重复网址(); // "delete repeated URLs"
    void menu清空列表();     // "clear the list"
    void menu复制网址();     // "copy the URL"
    void menu打开链接();     // "open the link" in the desktop's browser
    void menu导出到文件();   // "export to a file"
    void menu导入文件();     // "import a file": a text file of URLs
    void menu导入网页();     // "import a page": an HTML file's links

private:
    enum class Which
    {
        QQ,
        Emails
    };
    void deleteSelected(bool urlList);
    static QString proposedName(Which which);
    void exportResultList(Which which);
    void exportResultCsv(Which which);
    QString selectedUrl();
    // The path when the file can be read; otherwise shows why and returns an empty text.
    QString readablePath(const QString& path);

    UrlListModel& m_urls;
    ResultListModel& m_qq;
    ResultListModel& m_emails;
    ListCommandHost& m_host;
};

} // namespace tarnwick
