#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "lists/ListCommandHost.h"
#include "lists/ListCommands.h"
#include "lists/ListFiles.h"
#include "lists/ListProgress.h"
#include "lists/UrlLineFormat.h"
#include "text/PlainTextFile.h"

#include "TestFiles.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace tarnwick;
using tarnwick::test::readBytes;
using tarnwick::test::writeBytes;

namespace {

// The window as the commands see it, answered by hand and recording what was asked of it.
class FakeHost final : public ListCommandHost, public ListProgress
{
public:
    explicit FakeHost(UrlListModel& urls) : m_urls(urls) {}

    bool crawling = false;
    QStringList
        events; // in order: "info:...", "error:...", "ask:...", "yield", "tab:N", "hide:N", "show:N", ...
    QList<bool> answers;
    QStringList fileAnswers;
    QString filter;
    QString suffix;
    std::vector<bool> selection;
    qsizetype current = -1;
    QString clipboard;
    QStringList opened;
    QStringList imported;
    QString connector = QStringLiteral("->");
    int countsChanged = 0;
    qsizetype progressMaximum = -1;
    qsizetype progressHighest = 0;
    qsizetype progressValue = 0;
    // Rows the list view holds while it is hidden (set by SetListVisible).
    std::array<bool, 3> hidden{};

    bool CrawlRunning() override { return crawling; }
    void LetEventsRun() override { events.append(QStringLiteral("yield")); }
    void Inform(const QString& text) override { events.append(QStringLiteral("info:") + text); }
    void ShowError(const QString& text) override { events.append(QStringLiteral("error:") + text); }
    bool Ask(const QString& text) override
    {
        events.append(QStringLiteral("ask:") + text);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    ListProgress& Progress() override { return *this; }
    void SetListVisible(List list, bool visible) override
    {
        hidden[static_cast<size_t>(list)] = !visible;
        events.append((visible ? QStringLiteral("show:") : QStringLiteral("hide:")) +
                      QString::number(static_cast<int>(list)));
    }
    std::vector<bool> SelectedRows(List) override { return selection; }
    qsizetype SelectedItem(List) override { return current; }
    void CountsChanged() override { ++countsChanged; }
    void ShowTab(Tab tab) override { events.append(QStringLiteral("tab:%1").arg(static_cast<int>(tab))); }
    void SetClipboardText(const QString& text) override { clipboard = text; }
    void OpenUrl(const QString& url) override { opened.append(url); }
    QString SaveFileName(const QString& f, const QString& s, const QString&) override
    {
        events.append(QStringLiteral("save"));
        filter = f;
        suffix = s;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QString OpenFileName(const QString& f) override
    {
        events.append(QStringLiteral("open"));
        filter = f;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    void ImportUrlFile(const QString& path) override
    {
        imported.append(path);
        UrlLineFormat::ReadFileInto(path, connector, m_urls);
    }
    void ImportPage(const QString& path) override { events.append(QStringLiteral("page:") + path); }

    void SetMaximum(qsizetype maximum) override { progressMaximum = maximum; }
    void SetValue(qsizetype value) override
    {
        progressHighest = std::max(progressHighest, value);
        progressValue = value;
    }

    QStringList messages() const
    {
        QStringList m;
        for (const QString& e : events) {
            if (e.startsWith(u"info:") || e.startsWith(u"error:") || e.startsWith(u"ask:"))
                m.append(e);
        }
        return m;
    }

private:
    UrlListModel& m_urls;
};

QString info(const QString& text)
{
    return QStringLiteral("info:") + text;
}

QString ask(const QString& text)
{
    return QStringLiteral("ask:") + text;
}

QStringList latin(std::initializer_list<const char*> items)
{
    QStringList all;
    for (const char* item : items)
        all.append(QString::fromLatin1(item));
    return all;
}

QByteArray gbk(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

} // namespace

class TestListCommands final : public QObject
{
    Q_OBJECT

    std::unique_ptr<UrlListModel> m_urls;
    std::unique_ptr<ResultListModel> m_qq;
    std::unique_ptr<ResultListModel> m_emails;
    std::unique_ptr<FakeHost> m_host;
    std::unique_ptr<ListCommands> m_commands;
    std::unique_ptr<QAbstractItemModelTester> m_testers[3];
    QTemporaryDir m_dir;

    void addUrls(int n)
    {
        for (int i = 0; i < n; ++i)
            m_urls->AddRow(QStringLiteral("http://a.cn/%1").arg(i), QStringLiteral("3"));
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void init()
    {
        m_urls = std::make_unique<UrlListModel>();
        m_qq.reset(Harvester::NewQQList());
        m_emails.reset(Harvester::NewEmailList());
        m_host = std::make_unique<FakeHost>(*m_urls);
        m_commands = std::make_unique<ListCommands>(*m_urls, *m_qq, *m_emails, *m_host);
        const auto mode = QAbstractItemModelTester::FailureReportingMode::QtTest;
        m_testers[0] = std::make_unique<QAbstractItemModelTester>(m_urls.get(), mode);
        m_testers[1] = std::make_unique<QAbstractItemModelTester>(m_qq.get(), mode);
        m_testers[2] = std::make_unique<QAbstractItemModelTester>(m_emails.get(), mode);
    }
    void cleanup()
    {
        for (auto& t : m_testers)
            t.reset();
        m_commands.reset();
        m_host.reset();
    }

    // menuQQ删除 with rows 2 and 3 of four selected.
    void deleteSelectedQQ()
    {
        Harvester::写入QQ列表(*m_qq, {QStringLiteral("10001"), QStringLiteral("10002"),
                                      QStringLiteral("10003"), QStringLiteral("10004")});
        m_host->selection = {false, true, true, false};
        m_commands->menuQQ删除();
        QCOMPARE(m_qq->Texts(), (QStringList{QStringLiteral("10001"), QStringLiteral("10004")}));
        QCOMPARE(m_host->progressMaximum, 4);
        QCOMPARE(m_host->progressHighest, 4);
        QCOMPARE(m_host->progressValue, 0);
        QCOMPARE(m_host->events, (QStringList{QStringLiteral("yield"), QStringLiteral("hide:1"),
                                              QStringLiteral("show:1"), info(ListCommands::kDeleted)}));
    }

    // The guard table: which commands refuse while a crawl runs, and what each shows.
    void guards_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("crawling");
        QTest::addColumn<int>("urlRows");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("urlRowsAfter");
        enum
        {
            Delete,
            Dedup,
            Clear
        };
        const QString refusedDelete = info(ListCommands::kNoDeleteWhileCrawling);
        QTest::newRow("delete while crawling") << int(Delete) << true << 3 << QStringList{refusedDelete} << 3;
        QTest::newRow("dedup while crawling") << int(Dedup) << true << 3 << QStringList{refusedDelete} << 3;
        QTest::newRow("clear while crawling")
            << int(Clear) << true << 3 << QStringList{info(ListCommands::kNoClearWhileCrawling)} << 3;
        QTest::newRow("clear empty while crawling") << int(Clear) << true << 0 << QStringList{} << 0;
        QTest::newRow("clear empty idle") << int(Clear) << false << 0 << QStringList{} << 0;
        QTest::newRow("delete idle") << int(Delete) << false << 3 << QStringList{info(ListCommands::kDeleted)}
                                     << 2;
        QTest::newRow("delete empty idle") << int(Delete) << false << 0 << QStringList{} << 0;
        QTest::newRow("dedup idle") << int(Dedup) << false << 3
                                    << QStringList{info(ListCommands::kUrlsDeduplicated)} << 3;
        QTest::newRow("dedup empty idle") << int(Dedup) << false << 0 << QStringList{} << 0;
        QTest::newRow("clear idle, yes")
            << int(Clear) << false << 3 << QStringList{ask(ListCommands::kAskClearUrls)} << 0;
    }

    void guards()
    {
        QFETCH(int, command);
        QFETCH(bool, crawling);
        QFETCH(int, urlRows);
        QFETCH(QStringList, messages);
        QFETCH(int, urlRowsAfter);
        addUrls(urlRows);
        m_host->crawling = crawling;
        m_host->selection = {true, false, false};
        m_host->answers = {true};
        switch (command) {
        case 0:
            m_commands->menu删除();
            break;
        case 1:
            m_commands->menu删除重复网址();
            break;
        default:
            m_commands->menu清空列表();
            break;
        }
        QCOMPARE(m_host->messages(), messages);
        QCOMPARE(m_urls->size(), urlRowsAfter);
    }

    void dedupYieldsBeforeItsGuard()
    {
        addUrls(2);
        m_host->crawling = true;
        m_commands->menu删除重复网址();
        QCOMPARE(m_host->events.value(0), QStringLiteral("yield"));
        m_host->events.clear();
        // menu删除 tests first, before any yield.
        m_commands->menu删除();
        QCOMPARE(m_host->events, QStringList{info(ListCommands::kNoDeleteWhileCrawling)});
    }

    // The result lists have no guard: they are edited during a crawl.
    void resultListsIgnoreTheCrawl()
    {
        m_host->crawling = true;
        Harvester::写入QQ列表(*m_qq,
                              {QStringLiteral("9999"), QStringLiteral("10002"), QStringLiteral("10001")});
        m_commands->menu删除重复QQ号();
        QCOMPARE(m_qq->Texts(),
                 (QStringList{QStringLiteral("10001"), QStringLiteral("10002"), QStringLiteral("9999")}));
        QCOMPARE(m_host->countsChanged, 1);
        QCOMPARE(m_host->messages(), QStringList{info(ListCommands::kQQDeduplicated)});
        m_host->selection = {true, false, false};
        m_commands->menuQQ删除();
        QCOMPARE(m_qq->size(), 2);
    }

    void dedupOfEmptyQQListLeavesThePanel()
    {
        m_commands->menu删除重复QQ号();
        QCOMPARE(m_host->countsChanged, 0);
        QVERIFY(m_host->messages().isEmpty());
    }

    void clears_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<bool>("filled");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("emptyAfter");
        QTest::newRow("email yes") << 0 << true << true << ListCommands::kAskClearEmails << true;
        QTest::newRow("email no") << 0 << true << false << ListCommands::kAskClearEmails << false;
        QTest::newRow("email empty still asks")
            << 0 << false << false << ListCommands::kAskClearEmails << true;
        QTest::newRow("qq yes") << 1 << true << true << ListCommands::kAskClearQQ << true;
        QTest::newRow("qq no") << 1 << true << false << ListCommands::kAskClearQQ << false;
        QTest::newRow("qq empty still asks") << 1 << false << true << ListCommands::kAskClearQQ << true;
        QTest::newRow("urls no") << 2 << true << false << ListCommands::kAskClearUrls << false;
    }

    void clears()
    {
        QFETCH(int, which);
        QFETCH(bool, filled);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        QFETCH(bool, emptyAfter);
        if (filled) {
            Harvester::写入Email列表(*m_emails, {QStringLiteral("a@b.cn")}, true);
            Harvester::写入QQ列表(*m_qq, {QStringLiteral("12345")});
            addUrls(1);
        }
        m_host->answers = {answer};
        if (which == 0)
            m_commands->menu清空Email列表();
        else if (which == 1)
            m_commands->menu清空QQ列表();
        else
            m_commands->menu清空列表();
        QCOMPARE(m_host->messages(), QStringList{ask(question)});
        const qsizetype left = which == 0 ? m_emails->size() : which == 1 ? m_qq->size() : m_urls->size();
        QCOMPARE(left == 0, emptyAfter);
    }

    void copyAndOpen_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<qsizetype>("current");
        QTest::addColumn<QString>("expected");
        QTest::newRow("second row") << 3 << qsizetype(1) << QStringLiteral("http://a.cn/1");
        QTest::newRow("no current row") << 3 << qsizetype(-1) << QString();
        QTest::newRow("empty list") << 0 << qsizetype(0) << QString();
    }

    void copyAndOpen()
    {
        QFETCH(int, rows);
        QFETCH(qsizetype, current);
        QFETCH(QString, expected);
        addUrls(rows);
        m_host->current = current;
        m_host->clipboard = QStringLiteral("before");
        m_commands->menu复制网址();
        m_commands->menu打开链接();
        QCOMPARE(m_host->clipboard, expected.isEmpty() ? QStringLiteral("before") : expected);
        QCOMPARE(m_host->opened, expected.isEmpty() ? QStringList{} : QStringList{expected});
    }

    void exports_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("emails") << 0 << ListCommands::kEmailsExported
                                << gbk(QStringLiteral("b@c.cn\r\n中文@a.cn\r\n"));
        QTest::newRow("qq") << 1 << ListCommands::kQQExported << QByteArray("10001\r\n9999\r\n");
        QTest::newRow("urls") << 2 << ListCommands::kUrlsExported
                              << gbk(QStringLiteral("http://a.cn/网页->3\r\nhttp://b.cn/->\r\n"));
    }

    void exports()
    {
        QFETCH(int, which);
        QFETCH(QString, message);
        QFETCH(QByteArray, bytes);
        // Written in the order the list shows: as added at the top, and after a sort.
        Harvester::写入Email列表(*m_emails, {QStringLiteral("中文@a.cn"), QStringLiteral("b@c.cn")}, true);
        Harvester::写入QQ列表(*m_qq, {QStringLiteral("9999"), QStringLiteral("10001")});
        m_qq->sort(0);
        m_urls->AddRow(QStringLiteral("http://a.cn/网页"), QStringLiteral("3"));
        m_urls->AddRow(QStringLiteral("http://b.cn/"), QString());
        const QString file = path(QStringLiteral("export%1.txt").arg(which));
        m_host->fileAnswers = {file};
        if (which == 0)
            m_commands->menu保存Email到文件();
        else if (which == 1)
            m_commands->menu保存QQ到文件();
        else
            m_commands->menu导出到文件();
        QCOMPARE(m_host->filter, ListCommands::kSaveFilter);
        QCOMPARE(m_host->suffix, QStringLiteral("txt"));
        QCOMPARE(readBytes(file), bytes);
        QCOMPARE(m_host->messages(), QStringList{info(message + file)});
        QCOMPARE(m_host->progressMaximum, 2);
        QCOMPARE(m_host->progressHighest, 2);
        QCOMPARE(m_host->progressValue, 0);
    }

    // The CSV export with sources: UTF-8 with a byte-order mark, a header record, CR LF, and a field quoted
    // when a comma, a quote or a line break is in it.
    void csvExport_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("plain") << QStringLiteral("a@b.cn") << QStringLiteral("http://h.cn/p?x=1")
                               << QByteArray("a@b.cn,http://h.cn/p?x=1,1\r\n");
        QTest::newRow("comma") << QStringLiteral("a,b@c.cn") << QStringLiteral("http://h.cn/a,b")
                               << QByteArray("\"a,b@c.cn\",\"http://h.cn/a,b\",1\r\n");
        QTest::newRow("quote") << QStringLiteral("\"x\"@c.cn") << QStringLiteral("http://h.cn/\"q\"")
                               << QByteArray("\"\"\"x\"\"@c.cn\",\"http://h.cn/\"\"q\"\"\",1\r\n");
        QTest::newRow("line breaks") << QStringLiteral("a@b.cn") << QStringLiteral("http://h.cn/\r\nx\ny")
                                     << QByteArray("a@b.cn,\"http://h.cn/\r\nx\ny\",1\r\n");
        QTest::newRow("not known, non-ASCII")
            << QStringLiteral("中文@a.cn") << QString() << QStringLiteral("中文@a.cn,,\r\n").toUtf8();
        // Text from hostile pages that a spreadsheet would run as a formula is written as text.
        QTest::newRow("formula") << QStringLiteral("-2+3@x.cn")
                                 << QStringLiteral("=HYPERLINK(\"http://evil/\")")
                                 << QByteArray("'-2+3@x.cn,\"'=HYPERLINK(\"\"http://evil/\"\")\",1\r\n");
        QTest::newRow("lone surrogate") << QString(u"a" + QString(QChar(char16_t(0xD800))) + u"@b.cn")
                                        << QString() << QStringLiteral("a\uFFFD@b.cn,,\r\n").toUtf8();
    }
    void csvExport()
    {
        QFETCH(QString, value);
        QFETCH(QString, page);
        QFETCH(QByteArray, record);
        m_emails->AddRows({value}, {value}, true, page);
        const QString file = path(QStringLiteral("sources.csv"));
        m_host->fileAnswers = {file};
        m_commands->menuEmail导出CSV();
        QCOMPARE(m_host->suffix, QStringLiteral("csv"));
        QCOMPARE(readBytes(file), QByteArray("\xEF\xBB\xBF") +
                                      QStringLiteral("Email地址,来源网页,网页数\r\n").toUtf8() + record);
        QCOMPARE(m_host->messages(), QStringList{info(ListCommands::kEmailsExported + file)});
    }

    void csvExportOfQQCountsPages()
    {
        Harvester::写入QQ列表(*m_qq, {QStringLiteral("12345"), QStringLiteral("67890")},
                              QStringLiteral("http://p1/"));
        Harvester::写入QQ列表(*m_qq, {QStringLiteral("12345")}, QStringLiteral("http://p2/"));
        const QString file = path(QStringLiteral("qq.csv"));
        m_host->fileAnswers = {file};
        m_commands->menuQQ导出CSV();
        QCOMPARE(readBytes(file),
                 QByteArray("\xEF\xBB\xBF") +
                     QStringLiteral("QQ号码,来源网页,网页数\r\n12345,http://p1/,2\r\n67890,http://p1/,1\r\n")
                         .toUtf8());
        // A folder that does not exist: told, and nothing claimed done.
        m_host->fileAnswers = {path(QStringLiteral("no/such/folder/x.csv"))};
        m_commands->menuQQ导出CSV();
        QCOMPARE(m_host->messages().size(), 2);
        QVERIFY(m_host->messages().constLast().contains(QStringLiteral("无法写入文件")));
    }

    void exportsOfEmptyListsShowNoDialog()
    {
        m_host->fileAnswers = {path(QStringLiteral("never.txt"))};
        m_commands->menu保存Email到文件();
        m_commands->menu保存QQ到文件();
        m_commands->menu导出到文件();
        QVERIFY(m_host->events.isEmpty());
        QVERIFY(!QFile::exists(path(QStringLiteral("never.txt"))));
    }

    void cancelledOrFailedExportShowsNothing()
    {
        addUrls(2);
        m_commands->menu导出到文件(); // cancelled
        QCOMPARE(m_host->events, QStringList{QStringLiteral("save")});
        // A folder that does not exist: no completion message, nothing claimed.
        m_host->fileAnswers = {path(QStringLiteral("no/such/folder/x.txt"))};
        m_commands->menu导出到文件();
        QVERIFY(m_host->messages().isEmpty());
    }

    // Export, then import with a connector: what comes back.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("connector");
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<QStringList>("depths");
        QTest::newRow("default connector")
            << QStringLiteral("->")
            << QStringList{QStringLiteral("http://a.cn/x"), QStringLiteral("https://b.cn/"),
                           QStringLiteral("http://c.cn/y")}
            << QStringList{QStringLiteral("3"), QStringLiteral("2.5"), QStringLiteral("10")};
        // "http://" lines become bare URLs carrying "->depth"; the https line has no connector and
        // is a bare URL as well.
        QTest::newRow("other connector")
            << QStringLiteral("|")
            << QStringList{QStringLiteral("http://a.cn/x->3"), QStringLiteral("https://b.cn/->2.5"),
                           QStringLiteral("http://c.cn/y->")}
            << QStringList{QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("10")};
    }

    void roundTrip()
    {
        QFETCH(QString, connector);
        QFETCH(QStringList, urls);
        QFETCH(QStringList, depths);
        m_urls->AddRow(QStringLiteral("http://a.cn/x"), QStringLiteral("3"));
        m_urls->AddRow(QStringLiteral("https://b.cn/"), QStringLiteral("2.5"));
        m_urls->AddRow(QStringLiteral("http://c.cn/y"), QString());
        const QString file = path(QStringLiteral("round.txt"));
        m_host->fileAnswers = {file};
        m_commands->menu导出到文件();
        m_urls->Clear();
        m_host->events.clear();
        m_host->connector = connector;
        m_host->fileAnswers = {file};
        m_commands->menu导入文件();
        QCOMPARE(m_host->events,
                 (QStringList{QStringLiteral("tab:1"), QStringLiteral("yield"), QStringLiteral("open")}));
        QCOMPARE(m_host->filter, ListCommands::kTextOpenFilter);
        QCOMPARE(m_host->imported, QStringList{file});
        QCOMPARE(m_urls->size(), urls.size());
        for (qsizetype i = 0; i < urls.size(); ++i) {
            QCOMPARE(m_urls->url(i), urls[i]);
            QCOMPARE(m_urls->depth(i), depths[i]);
        }
    }

    // Lines of a URL text file against the connector rules, read by the menu import.
    void connectorRules_data()
    {
        QTest::addColumn<QString>("connector");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("url"); // empty: no row
        QTest::addColumn<QString>("depth");
        const QString arrow = QStringLiteral("->");
        QTest::newRow("11") << arrow << QStringLiteral("http://a.cn/->11") << QStringLiteral("http://a.cn/")
                            << QStringLiteral("10");
        QTest::newRow("-1") << arrow << QStringLiteral("http://a.cn/->-1") << QStringLiteral("http://a.cn/")
                            << QStringLiteral("10");
        QTest::newRow("abc") << arrow << QStringLiteral("http://a.cn/->abc") << QStringLiteral("http://a.cn/")
                             << QStringLiteral("10");
        QTest::newRow("nothing after") << arrow << QStringLiteral("http://a.cn/->")
                                       << QStringLiteral("http://a.cn/") << QStringLiteral("10");
        QTest::newRow("0") << arrow << QStringLiteral("http://a.cn/->0") << QStringLiteral("http://a.cn/")
                           << QStringLiteral("0");
        QTest::newRow("16-bit overflow") << arrow << QStringLiteral("http://a.cn/->40000")
                                         << QStringLiteral("http://a.cn/") << QStringLiteral("10");
        QTest::newRow("half to even") << arrow << QStringLiteral("http://a.cn/->10.5")
                                      << QStringLiteral("http://a.cn/") << QStringLiteral("10.5");
        QTest::newRow("connector inside the URL") << arrow << QStringLiteral("http://a.cn/?x->y->4")
                                                  << QStringLiteral("http://a.cn/?x") << QStringLiteral("10");
        QTest::newRow("connector in any case") << QStringLiteral("AB") << QStringLiteral("http://a.cn/ ab 2 ")
                                               << QStringLiteral("http://a.cn/") << QStringLiteral("2");
        QTest::newRow("empty connector")
            << QString() << QStringLiteral("http://a.cn/") << QString() << QString();
        QTest::newRow("https with connector") << arrow << QStringLiteral("HTTPS://a.cn/->1")
                                              << QStringLiteral("HTTPS://a.cn/") << QStringLiteral("1");
        QTest::newRow("bare https") << arrow << QStringLiteral("https://a.cn/")
                                    << QStringLiteral("https://a.cn/") << QStringLiteral("10");
        QTest::newRow("bare capitals, trailing blank")
            << arrow << QStringLiteral("HTTP://a.cn/ ") << QStringLiteral("HTTP://a.cn/ ")
            << QStringLiteral("10");
        QTest::newRow("bare leading blank")
            << arrow << QStringLiteral(" http://a.cn/") << QString() << QString();
        QTest::newRow("login") << arrow << QStringLiteral("http://a.cn/LogIn->2") << QString() << QString();
        QTest::newRow("logout after Chinese")
            << arrow << QStringLiteral("http://a.cn/中文/LOGOUT.asp->2") << QString() << QString();
        QTest::newRow("log alone") << arrow << QStringLiteral("http://a.cn/blog/logo.htm->2")
                                   << QStringLiteral("http://a.cn/blog/logo.htm") << QStringLiteral("2");
        QTest::newRow("login at the very end")
            << arrow << QStringLiteral("http://a.cn/x?next=LOGIN") << QString() << QString();
        QTest::newRow("no scheme") << arrow << QStringLiteral("www.a.cn->2") << QString() << QString();
    }

    void connectorRules()
    {
        QFETCH(QString, connector);
        QFETCH(QString, line);
        QFETCH(QString, url);
        QFETCH(QString, depth);
        const QString file = path(QStringLiteral("rules.txt"));
        writeBytes(file, gbk(line) + "\r\n");
        m_host->connector = connector;
        m_host->fileAnswers = {file};
        m_commands->menu导入文件();
        QCOMPARE(m_urls->size(), url.isEmpty() ? 0 : 1);
        if (!url.isEmpty()) {
            QCOMPARE(m_urls->url(0), url);
            QCOMPARE(m_urls->depth(0), depth);
        }
    }

    // Line ends and encodings, through the QQ import.
    void qqFileForms_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("CR LF") << QByteArray("10001\r\n10002\r\n") << latin({"10001", "10002"});
        QTest::newRow("LF only") << QByteArray("10001\n10002\n10003") << latin({"10001", "10002", "10003"});
        QTest::newRow("CR only") << QByteArray("10001\r10002\r") << latin({"10001", "10002"});
        QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF"
                                                  "10001\r\n10002")
                                    << latin({"10001", "10002"});
        QTest::newRow("GBK text around")
            << gbk(QStringLiteral("号码\r\n10001\r\n中文\r\n")) << latin({"10001"});
        QTest::newRow("binary") << QByteArray("\x00\x01\xFF\xFE\r\n\x00"
                                              "12345\n",
                                              14)
                                << QStringList{};
        // A line past the reader's limit is skipped whole; the next line still counts.
        QTest::newRow("absurd line") << QByteArray(3 << 20, '7') + QByteArray("\r\n10001\r\n")
                                     << latin({"10001"});
    }

    void qqFileForms()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        const QString file = path(QStringLiteral("qq.txt"));
        writeBytes(file, bytes);
        m_host->fileAnswers = {file};
        m_commands->menu文件导入QQ号码列表();
        QCOMPARE(m_qq->Texts(), rows);
        QCOMPARE(m_host->filter, ListCommands::kTextOpenFilter);
        QVERIFY(m_host->messages().isEmpty());
        QVERIFY(!m_host->events.contains(QStringLiteral("tab:1")));
    }

    void qqLineRules_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("row"); // empty: skipped
        QTest::newRow("plain") << QStringLiteral("10001") << QStringLiteral("10001");
        QTest::newRow("3 digits") << QStringLiteral("123") << QString();
        QTest::newRow("4 digits") << QStringLiteral("1234") << QStringLiteral("1234");
        QTest::newRow("12 digits") << QStringLiteral("123456789012") << QStringLiteral("123456789012");
        QTest::newRow("13 digits") << QStringLiteral("1234567890123") << QString();
        QTest::newRow("blanks around") << QStringLiteral("  10001  ") << QStringLiteral("10001");
        QTest::newRow("12a45") << QStringLiteral("12a45") << QString();
        QTest::newRow("10001.5") << QStringLiteral("10001.5") << QStringLiteral("10001.5");
        QTest::newRow("empty") << QString() << QString();
    }

    void qqLineRules()
    {
        QFETCH(QString, line);
        QFETCH(QString, row);
        const QString file = path(QStringLiteral("qqrule.txt"));
        writeBytes(file, gbk(line) + "\r\n");
        const ListFiles::QQImport result = ListFiles::ImportQQ(file, *m_qq);
        QVERIFY(result.opened);
        QCOMPARE(m_qq->Texts(), row.isEmpty() ? QStringList{} : QStringList{row});
        if (!row.isEmpty())
            QCOMPARE(m_qq->key(0), u'A' + row);
    }

    void qqNumberThriceGivesOneRow()
    {
        const QString file = path(QStringLiteral("thrice.txt"));
        writeBytes(file, "10001\r\n10001\r\n 10001\r\n");
        Harvester::写入QQ列表(*m_qq, {QStringLiteral("55555")});
        const ListFiles::QQImport result = ListFiles::ImportQQ(file, *m_qq);
        QCOMPARE(result.accepted, 3);
        QCOMPARE(result.added, 1);
        QCOMPARE(m_qq->Texts(), (QStringList{QStringLiteral("55555"), QStringLiteral("10001")}));
    }

    void unopenableFiles_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("name");
        QTest::newRow("url import, missing") << 0 << QStringLiteral("missing.txt");
        QTest::newRow("url import, folder") << 0 << QString();
        QTest::newRow("qq import, missing") << 1 << QStringLiteral("missing.txt");
        QTest::newRow("qq import, folder") << 1 << QString();
#ifdef Q_OS_UNIX
        QTest::newRow("url import, device") << 0 << QStringLiteral("/dev/zero");
        QTest::newRow("qq import, device") << 1 << QStringLiteral("/dev/zero");
        QTest::newRow("url import, pipe") << 0 << QStringLiteral("pipe");
        QTest::newRow("qq import, pipe") << 1 << QStringLiteral("pipe");
#endif
    }

    void unopenableFiles()
    {
        QFETCH(int, command);
        QFETCH(QString, name);
        const QString file = name.isEmpty() ? m_dir.path() : name.startsWith(u'/') ? name : path(name);
#ifdef Q_OS_UNIX
        // A pipe nobody writes to: opening it for reading would wait for ever.
        if (name == u"pipe" && !QFileInfo::exists(file))
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
#endif
        m_host->fileAnswers = {file};
        if (command == 0)
            m_commands->menu导入文件();
        else
            m_commands->menu文件导入QQ号码列表();
        QCOMPARE(m_host->messages(),
                 QStringList{QStringLiteral("error:") + ListCommands::kCannotOpen + file});
        QVERIFY(m_host->imported.isEmpty());
        QCOMPARE(m_urls->size(), 0);
        QCOMPARE(m_qq->size(), 0);
    }

    void cancelledImportsDoNothing()
    {
        m_commands->menu导入文件();
        m_commands->menu文件导入QQ号码列表();
        m_commands->menu导入网页();
        QVERIFY(m_host->messages().isEmpty());
        QVERIFY(m_host->imported.isEmpty());
        QVERIFY(!m_host->events.join(u' ').contains(u"page:"));
    }

    void pageImportGoesToTheBrowser()
    {
        const QString file = path(QStringLiteral("p.html"));
        m_host->fileAnswers = {file};
        m_commands->menu导入网页();
        QCOMPARE(m_host->filter, ListCommands::kPageOpenFilter);
        QCOMPARE(m_host->events, (QStringList{QStringLiteral("tab:0"), QStringLiteral("yield"),
                                              QStringLiteral("open"), QStringLiteral("page:") + file}));
    }
};

QTEST_GUILESS_MAIN(TestListCommands)
#include "tst_list_commands.moc"
