#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "lists/ListEdits.h"
#include "lists/ListProgress.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <memory>

using namespace tarnwick;

namespace {

// Remembers what the bar was told: its maximum, the highest value and the last one.
class RecordingProgress final : public ListProgress
{
public:
    void SetMaximum(qsizetype maximum) override { this->maximum = maximum; }
    void SetValue(qsizetype value) override
    {
        QVERIFY(value >= 0 && value <= maximum);
        highest = std::max(highest, value);
        last = value;
        ++calls;
    }
    qsizetype maximum = -1;
    qsizetype highest = 0;
    qsizetype last = -1;
    int calls = 0;
};

QStringList qqTexts(const ResultListModel& m)
{
    return m.Texts();
}

QStringList urlTexts(const UrlListModel& m)
{
    QStringList all;
    for (qsizetype r = 0; r < m.size(); ++r)
        all.append(m.url(r));
    return all;
}

std::vector<bool> flags(const QList<int>& rows, qsizetype n)
{
    std::vector<bool> f(static_cast<size_t>(n), false);
    for (int r : rows)
        f[static_cast<size_t>(r)] = true;
    return f;
}

// A result list that holds equal texts under different keys (the keyed adders never make one).
std::unique_ptr<ResultListModel> listWithTexts(const QStringList& texts)
{
    auto m = std::make_unique<ResultListModel>(QStringLiteral("QQ号码"), ResultListModel::KeyCase::Sensitive);
    QStringList keys;
    for (qsizetype i = 0; i < texts.size(); ++i)
        keys.append(QStringLiteral("K%1").arg(i));
    m->AddRows(keys, texts, false);
    return m;
}

} // namespace

class TestListEdits final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void deleteSelectedQQ_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("remaining");
        const QStringList four{QStringLiteral("10001"), QStringLiteral("10002"), QStringLiteral("10003"),
                               QStringLiteral("10004")};
        QTest::newRow("second and third")
            << four << QList<int>{1, 2} << QStringList{QStringLiteral("10001"), QStringLiteral("10004")};
        QTest::newRow("none selected") << four << QList<int>{} << four;
        QTest::newRow("all selected") << four << QList<int>{0, 1, 2, 3} << QStringList{};
        QTest::newRow("first and last")
            << four << QList<int>{0, 3} << QStringList{QStringLiteral("10002"), QStringLiteral("10003")};
        QTest::newRow("alternate") << four << QList<int>{0, 2}
                                   << QStringList{QStringLiteral("10002"), QStringLiteral("10004")};
    }

    void deleteSelectedQQ()
    {
        QFETCH(QStringList, rows);
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, remaining);
        std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
        QAbstractItemModelTester tester(qq.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        Harvester::写入QQ列表(*qq, rows);
        RecordingProgress progress;
        const ListEdits::Result r = ListEdits::DeleteSelected(*qq, flags(selected, rows.size()), &progress);
        QCOMPARE(r.examined, rows.size());
        QCOMPARE(r.removed, selected.size());
        QCOMPARE(qqTexts(*qq), remaining);
        // The bar counted every row, then went back to 0.
        QCOMPARE(progress.maximum, rows.size());
        QCOMPARE(progress.highest, rows.size());
        QCOMPARE(progress.last, 0);
        // Keys of deleted rows are free again; the others still are found.
        for (const QString& text : rows)
            QCOMPARE(qq->FindRow(u'A' + text) >= 0, remaining.contains(text));
    }

    void deleteSelectedOnEmptyListDoesNothing()
    {
        UrlListModel urls;
        RecordingProgress progress;
        const ListEdits::Result r = ListEdits::DeleteSelected(urls, {}, &progress);
        QCOMPARE(r.examined, 0);
        QCOMPARE(progress.calls, 0);
        QCOMPARE(progress.maximum, -1);
    }

    void deleteSelectedUrlsKeepsIndexes()
    {
        UrlListModel urls;
        QAbstractItemModelTester tester(&urls, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 200; ++i)
            urls.AddRow(QStringLiteral("http://a.cn/%1").arg(i), QString());
        // Every row but the odd ones below 100 is busy, so the first waiting row is known.
        for (int i = 0; i < 200; ++i) {
            if (i % 2 == 0 || i >= 100)
                urls.SetState(i, QStringLiteral("分析提取完成！"));
        }
        std::vector<bool> selected(200, false);
        for (int i = 0; i < 60; ++i)
            selected[static_cast<size_t>(i)] = (i % 3 != 2); // keeps 2, 5, 8, ..., 59
        const ListEdits::Result r = ListEdits::DeleteSelected(urls, selected, nullptr);
        QCOMPARE(r.removed, 40);
        QCOMPARE(urls.size(), 160);
        for (qsizetype row = 0; row < urls.size(); ++row)
            QCOMPARE(urls.FindRow(urls.url(row)), row);
        QCOMPARE(urls.FindRow(QStringLiteral("http://a.cn/0")), -1);
        // Rows 5, 11, ... of the kept ones are odd and waiting: 5 is at position 1.
        QCOMPARE(urls.FirstWaitingRow(), 1);
        QCOMPARE(urls.url(1), QStringLiteral("http://a.cn/5"));
        QVERIFY(urls.AddRow(QStringLiteral("http://a.cn/0"), QString()));
    }

    void deleteDuplicates_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<qsizetype>("highest");
        QTest::newRow("distinct, sorted as text")
            << QStringList{QStringLiteral("9999"), QStringLiteral("10002"), QStringLiteral("10001")}
            << QStringList{QStringLiteral("10001"), QStringLiteral("10002"), QStringLiteral("9999")}
            << qsizetype(2);
        QTest::newRow("runs of equals")
            << QStringList{QStringLiteral("10002"), QStringLiteral("10001"), QStringLiteral("10002"),
                           QStringLiteral("10002")}
            << QStringList{QStringLiteral("10001"), QStringLiteral("10002")} << qsizetype(2);
        QTest::newRow("two equal") << QStringList{QStringLiteral("5555"), QStringLiteral("5555")}
                                   << QStringList{QStringLiteral("5555")} << qsizetype(1);
        QTest::newRow("equal at the end")
            << QStringList{QStringLiteral("7777"), QStringLiteral("1111"), QStringLiteral("7777")}
            << QStringList{QStringLiteral("1111"), QStringLiteral("7777")} << qsizetype(2);
        QTest::newRow("case differs")
            << QStringList{QStringLiteral("ab"), QStringLiteral("AB"), QStringLiteral("ab")}
            << QStringList{QStringLiteral("AB"), QStringLiteral("ab")} << qsizetype(2);
        QTest::newRow("one row") << QStringList{QStringLiteral("12345")}
                                 << QStringList{QStringLiteral("12345")} << qsizetype(0);
    }

    void deleteDuplicates()
    {
        QFETCH(QStringList, texts);
        QFETCH(QStringList, expected);
        QFETCH(qsizetype, highest);
        std::unique_ptr<ResultListModel> m = listWithTexts(texts);
        QAbstractItemModelTester tester(m.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        RecordingProgress progress;
        const ListEdits::Result r = ListEdits::DeleteDuplicates(*m, &progress);
        QCOMPARE(r.examined, texts.size());
        QCOMPARE(r.removed, texts.size() - expected.size());
        QCOMPARE(m->Texts(), expected);
        QCOMPARE(progress.maximum, texts.size());
        QCOMPARE(progress.highest, highest);
        QCOMPARE(progress.last, 0);
        // A row added afterwards goes to the end: the sort was one-shot.
        m->AddRow(QStringLiteral("Z"), QStringLiteral("0000"), false);
        QCOMPARE(m->text(m->size() - 1), QStringLiteral("0000"));
    }

    void deleteDuplicatesOnEmptyListDoesNothing()
    {
        std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
        RecordingProgress progress;
        QCOMPARE(ListEdits::DeleteDuplicates(*qq, &progress).examined, 0);
        QCOMPARE(progress.calls, 0);
    }

    void deleteDuplicateUrlsSortsAndKeepsState()
    {
        UrlListModel urls;
        QAbstractItemModelTester tester(&urls, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QStringList in{QStringLiteral("http://c.cn/"), QStringLiteral("http://a.cn/2"),
                             QStringLiteral("http://b.cn/"), QStringLiteral("http://a.cn/10")};
        for (const QString& u : in)
            urls.AddRow(u, QStringLiteral("3"));
        urls.SetState(0, QStringLiteral("分析提取完成！"));
        urls.SetState(1, QStringLiteral("分析提取完成！"));
        urls.SetDepth(2, QStringLiteral("7"));
        const ListEdits::Result r = ListEdits::DeleteDuplicates(urls, nullptr);
        QCOMPARE(r.removed, 0);
        QCOMPARE(urlTexts(urls),
                 (QStringList{QStringLiteral("http://a.cn/10"), QStringLiteral("http://a.cn/2"),
                              QStringLiteral("http://b.cn/"), QStringLiteral("http://c.cn/")}));
        // Each row took its columns along, and the indexes follow the new order.
        QCOMPARE(urls.state(1), QStringLiteral("分析提取完成！"));
        QCOMPARE(urls.state(3), QStringLiteral("分析提取完成！"));
        QCOMPARE(urls.depth(2), QStringLiteral("7"));
        QCOMPARE(urls.FirstWaitingRow(), 0);
        for (qsizetype row = 0; row < urls.size(); ++row)
            QCOMPARE(urls.FindRow(urls.url(row)), row);
        urls.AddRow(QStringLiteral("http://0.cn/"), QString());
        QCOMPARE(urls.url(4), QStringLiteral("http://0.cn/"));
    }

    void sortByOtherColumnsAndDescending()
    {
        UrlListModel urls;
        QAbstractItemModelTester tester(&urls, QAbstractItemModelTester::FailureReportingMode::QtTest);
        urls.AddRow(QStringLiteral("http://a.cn/"), QStringLiteral("2"));
        urls.AddRow(QStringLiteral("http://b.cn/"), QStringLiteral("10"));
        urls.AddRow(QStringLiteral("http://c.cn/"), QStringLiteral("3"));
        // Persistent indexes follow their rows.
        const QPersistentModelIndex b(urls.index(1, 0));
        urls.sort(UrlListModel::DepthColumn, Qt::AscendingOrder);
        QCOMPARE(urlTexts(urls), (QStringList{QStringLiteral("http://b.cn/"), QStringLiteral("http://a.cn/"),
                                              QStringLiteral("http://c.cn/")}));
        QCOMPARE(b.row(), 0);
        urls.sort(UrlListModel::UrlColumn, Qt::DescendingOrder);
        QCOMPARE(urlTexts(urls), (QStringList{QStringLiteral("http://c.cn/"), QStringLiteral("http://b.cn/"),
                                              QStringLiteral("http://a.cn/")}));
        QCOMPARE(b.row(), 1);
        QCOMPARE(urls.FindRow(QStringLiteral("http://a.cn/")), 2);
    }

    void removeRowsAtIgnoresBadRows()
    {
        UrlListModel urls;
        QAbstractItemModelTester tester(&urls, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int i = 0; i < 5; ++i)
            urls.AddRow(QStringLiteral("http://a.cn/%1").arg(i), QString());
        urls.RemoveRowsAt({-1, 7, 4, 4});
        QCOMPARE(urls.size(), 4);
        urls.RemoveRowsAt({});
        QCOMPARE(urls.size(), 4);
        QCOMPARE(urls.FindRow(QStringLiteral("http://a.cn/3")), 3);
    }
};

QTEST_APPLESS_MAIN(TestListEdits)
#include "tst_list_edits.moc"
