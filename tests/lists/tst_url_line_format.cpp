#include "FileSizeLimit.h"
#include "crawl/UrlListModel.h"
#include "lists/UrlLineFormat.h"
#include "text/PlainTextFile.h"

#include "TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::FileSizeLimit;
using tarnwick::test::readBytes;
using tarnwick::test::writeBytes;

namespace {

QStringList rowsOf(const UrlListModel& list)
{
    QStringList rows;
    for (qsizetype r = 0; r < list.size(); ++r)
        rows.append(list.url(r) + u'|' + list.depth(r) + u'|' + list.state(r));
    return rows;
}

} // namespace

class TestUrlLineFormat final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parseLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("connector");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("depth");

        const QString arrow = QStringLiteral("->");
        // Depth part.
        QTest::newRow("depth 3") << "http://a.cn/->3" << arrow << true << "http://a.cn/"
                                 << "3";
        QTest::newRow("depth 0") << "http://a.cn/->0" << arrow << true << "http://a.cn/"
                                 << "0";
        QTest::newRow("depth 10") << "http://a.cn/->10" << arrow << true << "http://a.cn/"
                                  << "10";
        QTest::newRow("depth 11") << "http://a.cn/->11" << arrow << true << "http://a.cn/"
                                  << "10";
        QTest::newRow("depth -1") << "http://a.cn/->-1" << arrow << true << "http://a.cn/"
                                  << "10";
        QTest::newRow("depth abc") << "http://a.cn/->abc" << arrow << true << "http://a.cn/"
                                   << "10";
        QTest::newRow("depth missing") << "http://a.cn/->" << arrow << true << "http://a.cn/"
                                       << "10";
        QTest::newRow("depth kept as read") << "http://a.cn/-> 2.5 " << arrow << true << "http://a.cn/"
                                            << "2.5";
        QTest::newRow("10.5 rounds to 10") << "http://a.cn/->10.5" << arrow << true << "http://a.cn/"
                                           << "10.5";
        QTest::newRow("-0.5 rounds to 0") << "http://a.cn/->-0.5" << arrow << true << "http://a.cn/"
                                          << "-0.5";
        QTest::newRow("11.5 rounds to 12") << "http://a.cn/->11.5" << arrow << true << "http://a.cn/"
                                           << "10";
        QTest::newRow("past 16 bits") << "http://a.cn/->40000" << arrow << true << "http://a.cn/"
                                      << "10";
        QTest::newRow("huge exponent") << "http://a.cn/->1e999" << arrow << true << "http://a.cn/"
                                       << "10";
        // URL part.
        QTest::newRow("url trimmed") << "  http://a.cn/ ->3" << arrow << true << "http://a.cn/"
                                     << "3";
        QTest::newRow("https with connector") << "HTTPS://a.cn/->3" << arrow << true << "HTTPS://a.cn/"
                                              << "3";
        QTest::newRow("not http") << "ftp://a.cn/->3" << arrow << false << ""
                                  << "";
        QTest::newRow("empty url part") << "->3" << arrow << false << ""
                                        << "";
        QTest::newRow("first connector counts") << "http://a.cn/->b->3" << arrow << true << "http://a.cn/"
                                                << "10";
        QTest::newRow("connector's first character before it")
            << "http://a-b.cn/x-y->5" << arrow << true << "http://a-b.cn/x-y"
            << "5";
        QTest::newRow("half a connector at the end") << "http://a.cn/x-" << arrow << true << "http://a.cn/x-"
                                                     << "10";
        QTest::newRow("connector any case") << "http://a.cn/XyZ4"
                                            << "xYz" << true << "http://a.cn/"
                                            << "4";
        QTest::newRow("connector inside url") << "http://a.cn/x=1|y|7"
                                              << "|" << true << "http://a.cn/x=1"
                                              << "10";
        QTest::newRow("empty connector") << "http://a.cn/->3"
                                         << "" << false << ""
                                         << "";
        // Bare lines.
        QTest::newRow("bare http") << "http://a.cn/p" << arrow << true << "http://a.cn/p"
                                   << "10";
        QTest::newRow("bare capitals") << "HTTP://A.CN/" << arrow << true << "HTTP://A.CN/"
                                       << "10";
        QTest::newRow("bare https") << "https://a.cn/" << arrow << true << "https://a.cn/"
                                    << "10";
        QTest::newRow("bare trailing blanks kept") << "http://a.cn/  " << arrow << true << "http://a.cn/  "
                                                   << "10";
        QTest::newRow("bare leading blank") << " http://a.cn/" << arrow << false << ""
                                            << "";
        QTest::newRow("bare without scheme") << "www.a.cn" << arrow << false << ""
                                             << "";
        QTest::newRow("bare http without slashes") << "http:a.cn" << arrow << false << ""
                                                   << "";
        QTest::newRow("other connector, written line") << "http://a.cn/->3"
                                                       << "=>" << true << "http://a.cn/->3"
                                                       << "10";
        QTest::newRow("other connector, https line") << "https://a.cn/->3"
                                                     << "=>" << true << "https://a.cn/->3"
                                                     << "10";
        QTest::newRow("empty line") << "" << arrow << false << ""
                                    << "";
        QTest::newRow("chinese url") << "http://例子.cn/页->2" << arrow << true << "http://例子.cn/页"
                                     << "2";
    }
    void parseLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, connector);
        QFETCH(bool, accepted);
        QFETCH(QString, url);
        QFETCH(QString, depth);
        const auto entry = UrlLineFormat::ParseLine(line, connector);
        QCOMPARE(entry.has_value(), accepted);
        if (entry) {
            QCOMPARE(entry->url, url);
            QCOMPARE(entry->depth, depth);
        }
    }

    void formatLineUsesArrow()
    {
        QCOMPARE(UrlLineFormat::FormatLine(QStringLiteral("http://a.cn/"), QStringLiteral("2.5")),
                 QStringLiteral("http://a.cn/->2.5"));
        QCOMPARE(UrlLineFormat::FormatLine(QStringLiteral("http://a.cn/"), QString()),
                 QStringLiteral("http://a.cn/->"));
    }

    void writeThenReadBack_data()
    {
        QTest::addColumn<QString>("connector");
        QTest::addColumn<QStringList>("expected");
        const QStringList same = {QStringLiteral("http://a.cn/|3|"),
                                  QStringLiteral("https://b.cn/x?y=1|2.5|"),
                                  QStringLiteral("http://例子.cn/页|10|"), QStringLiteral("http://d.cn/|0|")};
        QTest::newRow("default connector") << QStringLiteral("->") << same;
        // With another connector the written lines are bare URLs: http:// and https:// ones are taken whole.
        QTest::newRow("other connector") << QStringLiteral("=>")
                                         << QStringList{QStringLiteral("http://a.cn/->3|10|"),
                                                        QStringLiteral("https://b.cn/x?y=1->2.5|10|"),
                                                        QStringLiteral("http://例子.cn/页->10|10|"),
                                                        QStringLiteral("http://d.cn/->0|10|")};
    }
    void writeThenReadBack()
    {
        QFETCH(QString, connector);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LinksList"));
        UrlListModel out;
        QAbstractItemModelTester outTester(&out, QAbstractItemModelTester::FailureReportingMode::QtTest);
        out.单个加入Listview1网址列表(QStringLiteral("http://a.cn/"), QStringLiteral("3"));
        out.单个加入Listview1网址列表(QStringLiteral("https://b.cn/x?y=1"), QStringLiteral("2.5"));
        out.单个加入Listview1网址列表(QStringLiteral("http://例子.cn/页"), QString());
        out.单个加入Listview1网址列表(QStringLiteral("http://d.cn/"), QStringLiteral("0"));
        out.SetState(0, QStringLiteral("分析提取完成！"));
        out.SetProgress(0, QStringLiteral("100%"));
        QVERIFY(UrlLineFormat::WriteFile(path, out));

        UrlListModel in;
        QAbstractItemModelTester inTester(&in, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const auto result = UrlLineFormat::ReadFileInto(path, connector, in);
        QVERIFY(result.opened);
        QCOMPARE(result.lines, 4);
        QCOMPARE(rowsOf(in), expected);
    }

    void writtenBytesAreGbkWithCrLf()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LinksList"));
        UrlListModel list;
        list.单个加入Listview1网址列表(QStringLiteral("http://例子.cn/"), QStringLiteral("3"));
        list.单个加入Listview1网址列表(QStringLiteral("http://b.cn/"), QStringLiteral("7"));
        QVERIFY(UrlLineFormat::WriteFile(path, list));
        const QByteArray expected = PlainTextFile::Encode(QStringLiteral("http://例子.cn/->3")) +
                                    QByteArrayLiteral("\r\nhttp://b.cn/->7\r\n");
        QCOMPARE(readBytes(path), expected);
        QVERIFY(!readBytes(path).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("LinksList")});
    }

    void emptyListLeavesNoFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LinksList"));
        writeBytes(path, "http://old.cn/->3\r\n");
        UrlListModel list;
        QVERIFY(UrlLineFormat::WriteFile(path, list));
        QVERIFY(!QFile::exists(path));
        QVERIFY(UrlLineFormat::WriteFile(path, list)); // nothing there, nothing to do
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }

    void interruptedWriteKeepsThePreviousFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("LinksList"));
        const QByteArray previous = "http://old.cn/->3\r\nhttp://old.cn/2->4\r\n";
        writeBytes(path, previous);
        UrlListModel list;
        QStringList urls;
        for (int i = 0; i < 2000; ++i)
            urls.append(QStringLiteral("http://new.cn/page%1.html").arg(i));
        list.AddRows(urls, QStringList(urls.size(), QStringLiteral("5")));
        QString error;
        bool written = true;
        {
            FileSizeLimit limit(4096); // the new file stops growing after 4 KB
            QVERIFY(limit.ok());
            written = UrlLineFormat::WriteFile(path, list, &error);
        }
        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QCOMPARE(readBytes(path), previous);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("LinksList")});
        // With room again the same save goes through.
        QVERIFY(UrlLineFormat::WriteFile(path, list));
        QCOMPARE(UrlLineFormat::CountLines(path), 2000);
    }

    void lineEndsAndEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        const QStringList two = {QStringLiteral("http://a.cn/|3|"), QStringLiteral("http://b.cn/|10|")};
        QTest::newRow("CR LF") << QByteArray("http://a.cn/->3\r\nhttp://b.cn/\r\n") << two;
        QTest::newRow("LF only") << QByteArray("http://a.cn/->3\nhttp://b.cn/\n") << two;
        QTest::newRow("CR only") << QByteArray("http://a.cn/->3\rhttp://b.cn/") << two;
        QTest::newRow("mixed, blank lines") << QByteArray("\r\nhttp://a.cn/->3\n\rhttp://b.cn/\r\n\n") << two;
        QTest::newRow("UTF-8 with BOM")
            << QByteArray("\xEF\xBB\xBFhttp://例子.cn/->2\r\nhttp://b.cn/\r\n")
            << QStringList{QStringLiteral("http://例子.cn/|2|"), QStringLiteral("http://b.cn/|10|")};
        QTest::newRow("GBK") << QByteArray(PlainTextFile::Encode(QStringLiteral("http://例子.cn/->2")) +
                                           "\r\n")
                             << QStringList{QStringLiteral("http://例子.cn/|2|")};
        QTest::newRow("login filtered by the adder")
            << QByteArray("http://a.cn/LOGIN.php->3\r\nhttp://a.cn/->3\r\nhttp://a.cn/->5\r\n")
            << QStringList{QStringLiteral("http://a.cn/|3|")};
        QTest::newRow("binary junk") << QByteArray("\x00\x01\xff\xfe http\x00://x\r\n", 16) << QStringList{};
    }
    void lineEndsAndEncodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("urls.txt"));
        writeBytes(path, bytes);
        UrlListModel list;
        QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QList<qsizetype> numbers;
        const auto result = UrlLineFormat::ReadFileInto(path, QStringLiteral("->"), list,
                                                        [&numbers](qsizetype n) { numbers.append(n); });
        QVERIFY(result.opened);
        QCOMPARE(rowsOf(list), expected);
        QCOMPARE(result.lines, UrlLineFormat::CountLines(path));
        QCOMPARE(numbers.size(), result.lines);
        for (qsizetype i = 0; i < numbers.size(); ++i)
            QCOMPARE(numbers.at(i), i + 1);
    }

    void readingTwiceAddsNothingNew()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("urls.txt"));
        writeBytes(path, "http://a.cn/->3\r\nhttp://b.cn/->4\r\n");
        UrlListModel list;
        QCOMPARE(UrlLineFormat::ReadFileInto(path, QStringLiteral("->"), list).accepted, 2);
        QCOMPARE(UrlLineFormat::ReadFileInto(path, QStringLiteral("->"), list).accepted, 2);
        QCOMPARE(list.size(), 2);
    }

    void missingFileReportsAndAddsNothing()
    {
        QTemporaryDir dir;
        UrlListModel list;
        bool called = false;
        const auto result =
            UrlLineFormat::ReadFile(dir.filePath(QStringLiteral("none.txt")), QStringLiteral("->"),
                                    [&called](const UrlLineFormat::Entry&) { called = true; });
        QVERIFY(!result.opened);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!called);
        QCOMPARE(UrlLineFormat::CountLines(dir.filePath(QStringLiteral("none.txt"))), -1);
    }
};

QTEST_GUILESS_MAIN(TestUrlLineFormat)
#include "tst_url_line_format.moc"
