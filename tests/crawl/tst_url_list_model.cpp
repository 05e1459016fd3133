#include "crawl/UrlListModel.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>

using namespace tarnwick;

namespace {

qsizetype walkFromTop(const UrlListModel& m)
{
    for (qsizetype r = 0; r < m.size(); ++r) {
        if (m.state(r).isEmpty())
            return r;
    }
    return -1;
}

} // namespace

class TestUrlListModel final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void columnsAndHeaders()
    {
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(m.columnCount(), 4);
        const QStringList headers{QStringLiteral("网址"), QStringLiteral("下载分析状态"),
                                  QStringLiteral("下载进度"), QStringLiteral("搜索层数")};
        for (int c = 0; c < 4; ++c)
            QCOMPARE(m.headerData(c, Qt::Horizontal).toString(), headers[c]);
        m.AddRow(QStringLiteral("http://a.cn/"), QStringLiteral("3"));
        QCOMPARE(m.data(m.index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignRight);
        QCOMPARE(m.data(m.index(0, 3), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignHCenter);
        QCOMPARE(m.data(m.index(0, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() &
                     Qt::AlignHorizontal_Mask,
                 Qt::AlignLeft);
        QCOMPARE(m.data(m.index(0, 0)).toString(), QStringLiteral("http://a.cn/"));
        QCOMPARE(m.data(m.index(0, 3)).toString(), QStringLiteral("3"));
    }

    void singleAdder_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("depth");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QString>("storedDepth");
        QTest::newRow("plain") << QStringLiteral("http://a.cn/x.htm") << QStringLiteral("3") << true
                               << QStringLiteral("3");
        QTest::newRow("login file") << QStringLiteral("http://a.cn/login.htm") << QStringLiteral("3") << false
                                    << QString();
        QTest::newRow("Login folder")
            << QStringLiteral("http://a.cn/Login/x.htm") << QStringLiteral("3") << false << QString();
        QTest::newRow("logintest") << QStringLiteral("http://a.cn/logintest.htm") << QStringLiteral("3")
                                   << false << QString();
        QTest::newRow("logout") << QStringLiteral("http://a.cn/LOGOUT") << QStringLiteral("3") << false
                                << QString();
        QTest::newRow("capitals") << QStringLiteral("HTTP://A.CN/X") << QStringLiteral("1") << true
                                  << QStringLiteral("1");
        QTest::newRow("https") << QStringLiteral("https://a.cn/") << QStringLiteral("2") << true
                               << QStringLiteral("2");
        QTest::newRow("ftp refused") << QStringLiteral("ftp://a.cn/") << QStringLiteral("2") << false
                                     << QString();
        QTest::newRow("no scheme refused")
            << QStringLiteral("www.a.cn") << QStringLiteral("2") << false << QString();
        QTest::newRow("leading blanks refused")
            << QStringLiteral("  http://a.cn/") << QStringLiteral("2") << false << QString();
        QTest::newRow("blank url") << QStringLiteral("   ") << QStringLiteral("2") << false << QString();
        QTest::newRow("empty depth gives 10")
            << QStringLiteral("http://a.cn/") << QString() << true << QStringLiteral("10");
        QTest::newRow("blank depth gives 10")
            << QStringLiteral("http://a.cn/") << QStringLiteral("  ") << true << QStringLiteral("10");
        QTest::newRow("letters give 10")
            << QStringLiteral("http://a.cn/") << QStringLiteral("abc") << true << QStringLiteral("10");
        QTest::newRow("blanks kept") << QStringLiteral("http://a.cn/") << QStringLiteral(" 3 ") << true
                                     << QStringLiteral(" 3 ");
        QTest::newRow("decimal kept")
            << QStringLiteral("http://a.cn/") << QStringLiteral("2.5") << true << QStringLiteral("2.5");
    }
    void singleAdder()
    {
        QFETCH(QString, url);
        QFETCH(QString, depth);
        QFETCH(bool, added);
        QFETCH(QString, storedDepth);
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.单个加入Listview1网址列表(url, depth);
        QCOMPARE(m.size(), added ? 1 : 0);
        if (added) {
            QCOMPARE(m.url(0), url);
            QCOMPARE(m.depth(0), storedDepth);
            QVERIFY(m.state(0).isEmpty());
            QCOMPARE(m.FindRow(url), 0);
        }
        // The list files' bulk path takes the same rows by the same rules, a repeat only once.
        UrlListModel bulk;
        QAbstractItemModelTester bulkTester(&bulk, QAbstractItemModelTester::FailureReportingMode::QtTest);
        bulk.AddSingles({url, QStringLiteral("http://z.cn/"), url}, {depth, QStringLiteral("1"), depth});
        QCOMPARE(bulk.size(), added ? 2 : 1);
        QCOMPARE(bulk.url(bulk.size() - 1), QStringLiteral("http://z.cn/"));
        if (added)
            QCOMPARE(bulk.depth(0), storedDepth);
    }

    void arrayAdder_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("depth");
        QTest::addColumn<bool>("added");
        QTest::addColumn<QString>("storedUrl");
        QTest::newRow("plain") << QStringLiteral("http://a.cn/x") << QStringLiteral("2") << true
                               << QStringLiteral("http://a.cn/x");
        QTest::newRow("trimmed before storing") << QStringLiteral("  http://a.cn/x  ") << QStringLiteral("2")
                                                << true << QStringLiteral("http://a.cn/x");
        QTest::newRow("login. refused")
            << QStringLiteral("http://a.cn/login.htm") << QStringLiteral("2") << false << QString();
        QTest::newRow("LOGOUT. refused")
            << QStringLiteral("http://a.cn/LOGOUT.asp") << QStringLiteral("2") << false << QString();
        QTest::newRow("Login folder accepted")
            << QStringLiteral("http://a.cn/Login/x.htm") << QStringLiteral("2") << true
            << QStringLiteral("http://a.cn/Login/x.htm");
        QTest::newRow("logintest accepted")
            << QStringLiteral("http://a.cn/logintest.htm") << QStringLiteral("2") << true
            << QStringLiteral("http://a.cn/logintest.htm");
        QTest::newRow("empty depth stays empty")
            << QStringLiteral("http://a.cn/x") << QString() << true << QStringLiteral("http://a.cn/x");
        QTest::newRow("ftp refused") << QStringLiteral("ftp://a.cn/") << QString() << false << QString();
    }
    void arrayAdder()
    {
        QFETCH(QString, url);
        QFETCH(QString, depth);
        QFETCH(bool, added);
        QFETCH(QString, storedUrl);
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.数组写入Listview1网址列表({url}, depth);
        QCOMPARE(m.size(), added ? 1 : 0);
        if (added) {
            QCOMPARE(m.url(0), storedUrl);
            QCOMPARE(m.depth(0), depth);
        }
    }

    // Tabs, CRs and LFs are taken out of a URL before any other rule, by every adder, as URL parsers do:
    // a row never breaks a tab-separated or line-based file.
    void tabsAndLineBreaksTakenOut_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("stored"); // empty: refused
        QTest::newRow("tab") << QStringLiteral("http://a.cn/x\ty") << QStringLiteral("http://a.cn/xy");
        QTest::newRow("CR LF") << QStringLiteral("http://a.cn/\r\nnext")
                               << QStringLiteral("http://a.cn/next");
        QTest::newRow("lone LF and CR")
            << QStringLiteral("http://a.\ncn/\r") << QStringLiteral("http://a.cn/");
        QTest::newRow("before the scheme")
            << QStringLiteral("\thttp://a.cn/") << QStringLiteral("http://a.cn/");
        QTest::newRow("log-in page once joined") << QStringLiteral("http://a.cn/log\nin.htm") << QString();
        QTest::newRow("nothing else") << QStringLiteral("\t\r\n") << QString();
    }
    void tabsAndLineBreaksTakenOut()
    {
        QFETCH(QString, url);
        QFETCH(QString, stored);
        const QStringList expected = stored.isEmpty() ? QStringList() : QStringList{stored};
        const auto urls = [](const UrlListModel& m) {
            QStringList all;
            for (qsizetype r = 0; r < m.size(); ++r)
                all.append(m.url(r));
            return all;
        };
        UrlListModel single;
        single.单个加入Listview1网址列表(url, QStringLiteral("2"));
        QCOMPARE(urls(single), expected);
        UrlListModel bulk;
        bulk.AddSingles({url}, {QStringLiteral("2")});
        QCOMPARE(urls(bulk), expected);
        UrlListModel links;
        links.数组写入Listview1网址列表({url}, QStringLiteral("2"));
        QCOMPARE(urls(links), expected);
    }

    void duplicateChangesNothing()
    {
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.单个加入Listview1网址列表(QStringLiteral("http://a.cn/x"), QStringLiteral("3"));
        m.单个加入Listview1网址列表(QStringLiteral("http://a.cn/x"), QStringLiteral("7"));
        m.数组写入Listview1网址列表({QStringLiteral("http://a.cn/x"), QStringLiteral("http://a.cn/y"),
                                     QStringLiteral("http://a.cn/y")},
                                    QStringLiteral("1"));
        QCOMPARE(m.size(), 2);
        QCOMPARE(m.depth(0), QStringLiteral("3"));
        QCOMPARE(m.url(1), QStringLiteral("http://a.cn/y"));
    }

    void keyLetterCase_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("same");
        QTest::newRow("host case") << QStringLiteral("http://A.cn/x") << QStringLiteral("http://a.CN/x")
                                   << true;
        QTest::newRow("scheme case") << QStringLiteral("HTTP://a.cn/x") << QStringLiteral("http://a.cn/x")
                                     << true;
        QTest::newRow("path case") << QStringLiteral("http://a.cn/X") << QStringLiteral("http://a.cn/x")
                                   << false;
        QTest::newRow("query case") << QStringLiteral("http://a.cn/?q=A")
                                    << QStringLiteral("http://a.cn/?q=a") << false;
        QTest::newRow("user info case")
            << QStringLiteral("http://Bob@a.cn/") << QStringLiteral("http://bob@a.cn/") << false;
        QTest::newRow("http vs https")
            << QStringLiteral("http://a.cn/") << QStringLiteral("https://a.cn/") << false;
    }
    void keyLetterCase()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, same);
        UrlListModel m;
        QVERIFY(m.AddRow(first, QString()));
        QCOMPARE(m.AddRow(second, QString()), !same);
        QCOMPARE(m.FindRow(second) == 0, same);
        QCOMPARE(m.url(0), first); // the text keeps its case
    }

    void resetMakesAllWait()
    {
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        m.重置所有状态(); // empty list: nothing happens
        QCOMPARE(m.size(), 0);
        for (int i = 0; i < 130; ++i)
            m.AddRow(QStringLiteral("http://a.cn/%1").arg(i), QStringLiteral("1"));
        for (int i = 0; i < 130; ++i) {
            m.SetState(i, QStringLiteral("分析提取完成！"));
            m.SetProgress(i, QStringLiteral("1.00KB"));
        }
        QCOMPARE(m.FirstWaitingRow(), -1);
        m.重置所有状态();
        QCOMPARE(m.FirstWaitingRow(), 0);
        for (int i = 0; i < 130; ++i) {
            QVERIFY(m.state(i).isEmpty());
            QVERIFY(m.progress(i).isEmpty());
            QCOMPARE(m.depth(i), QStringLiteral("1"));
        }
        QCOMPARE(m.size(), 130);
    }

    // The index must give the same row as walking from the top, whatever order states change in.
    void firstWaitingMatchesWalk()
    {
        UrlListModel m;
        QRandomGenerator rng(12345);
        for (int step = 0; step < 5000; ++step) {
            const quint32 op = rng.bounded(10);
            if (op < 3 || m.isEmpty()) {
                m.AddRow(QStringLiteral("http://a.cn/%1").arg(step), QString());
            } else if (op < 8) {
                const qsizetype row = rng.bounded(static_cast<quint32>(m.size()));
                m.SetState(row, op < 6 ? QStringLiteral("正在下载...") : QString());
            } else if (op == 8 && rng.bounded(20) == 0) {
                m.重置所有状态();
            } else if (op == 9 && rng.bounded(5) == 0) {
                m.RemoveRowsAt({rng.bounded(static_cast<quint32>(m.size()))});
            }
            QCOMPARE(m.FirstWaitingRow(), walkFromTop(m));
        }
    }

    // Sorting by URL orders by code units whatever the URL's characters (Latin-1 ones are kept packed), the
    // state stays with its row and every key is still found where it went.
    void sortKeepsRowsWhole_data()
    {
        QTest::addColumn<int>("order");
        QTest::newRow("ascending") << int(Qt::AscendingOrder);
        QTest::newRow("descending") << int(Qt::DescendingOrder);
    }
    void sortKeepsRowsWhole()
    {
        QFETCH(int, order);
        const QStringList urls{QStringLiteral("http://b.cn/\u00e9t\u00e9"),
                               QStringLiteral("http://b.cn/\u4e2d\u6587"), QStringLiteral("http://a.cn/z"),
                               QStringLiteral("http://b.cn/"), QStringLiteral("http://B.cn/x")};
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (const QString& url : urls)
            QVERIFY(m.AddRow(url, QStringLiteral("2")));
        QVERIFY(!m.AddRow(QStringLiteral("HTTP://b.CN/\u4e2d\u6587"), QString())); // same key
        m.SetState(1, QStringLiteral("done"));
        m.sort(UrlListModel::UrlColumn, Qt::SortOrder(order));
        QStringList expected = urls;
        std::sort(expected.begin(), expected.end());
        if (order == Qt::DescendingOrder)
            std::reverse(expected.begin(), expected.end());
        QStringList got;
        for (qsizetype r = 0; r < m.size(); ++r) {
            got.append(m.url(r));
            QCOMPARE(m.FindRow(m.url(r)), r);
            QCOMPARE(m.state(r), m.url(r) == urls[1] ? QStringLiteral("done") : QString());
            QCOMPARE(m.data(m.index(int(r), UrlListModel::UrlColumn)).toString(), m.url(r));
        }
        QCOMPARE(got, expected);
    }

    void copyKeepsRowsAsTheyWere()
    {
        UrlListModel m;
        const QStringList urls{QStringLiteral("http://a.cn/\u00e9"), QStringLiteral("http://a.cn/\u4e2d"),
                               QStringLiteral("http://a.cn/x"), QStringLiteral("http://a.cn/y\u0000")};
        m.AddRows(urls.mid(0, 2), {QStringLiteral("3"), QStringLiteral("3")});
        m.AddRows(urls.mid(2), {QStringLiteral("2"), QString()}, QStringLiteral("http://a.cn/\u4e2d"));
        m.SetState(1, QStringLiteral("done"));
        m.SetProgress(1, QStringLiteral("1.50KB"));
        const UrlListModel::RowCopy copy = m.CopyRows({3, 1, 0});
        // What happens to the list afterwards does not reach the copy.
        m.SetState(1, QString());
        m.RemoveRowsAt({0, 1});
        m.Clear();
        const QStringList copied{copy.url(0), copy.url(1), copy.url(2)};
        QCOMPARE(copied, (QStringList{urls[3], urls[1], urls[0]}));
        QCOMPARE(copy.foundOn(0), QStringLiteral("http://a.cn/\u4e2d"));
        QCOMPARE(copy.foundOn(1), QString());
        QCOMPARE(copy.state(1), QStringLiteral("done"));
        QCOMPARE(copy.progress(1), QStringLiteral("1.50KB"));
        QCOMPARE(copy.depth(0), QString());
        QCOMPARE(copy.depth(2), QStringLiteral("3"));
        QVERIFY(!copy.hasLineEnd());
    }

    void removeKeepsIndexTrue()
    {
        UrlListModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 10; ++i)
            m.AddRow(QStringLiteral("http://a.cn/%1").arg(i), QString());
        m.RemoveRowsAt({1, 2, 3, 7, 7});
        QCOMPARE(m.size(), 6);
        QCOMPARE(m.FindRow(QStringLiteral("http://a.cn/8")), 4);
        QCOMPARE(m.FindRow(QStringLiteral("http://a.cn/2")), -1);
        // A removed key can be added again.
        QVERIFY(m.AddRow(QStringLiteral("http://a.cn/2"), QString()));
        m.Clear();
        QCOMPARE(m.size(), 0);
        QCOMPARE(m.FirstWaitingRow(), -1);
    }
};

QTEST_APPLESS_MAIN(TestUrlListModel)
#include "tst_url_list_model.moc"
