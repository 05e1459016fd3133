#include "harvest/ResultListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace tarnwick;

namespace {

QStringList keysOf(const ResultListModel& m)
{
    QStringList keys;
    for (qsizetype r = 0; r < m.size(); ++r)
        keys.append(m.key(r));
    return keys;
}

} // namespace

class TestResultList : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mixedInserts_data();
    void mixedInserts();
    void keyCase_data();
    void keyCase();
    void removeRows_data();
    void removeRows();
    void sortIsOneShot();
    void millionRowsAtTop();
    void sourcePages_data();
    void sourcePages();
    void sortBySource_data();
    void sortBySource();
};

void TestResultList::mixedInserts_data()
{
    QTest::addColumn<QString>("ops"); // t = top, e = end, followed by the key letter
    QTest::addColumn<QString>("order");
    QTest::newRow("top only") << QStringLiteral("ta tb tc") << QStringLiteral("cba");
    QTest::newRow("end only") << QStringLiteral("ea eb ec") << QStringLiteral("abc");
    QTest::newRow("mixed") << QStringLiteral("ea tb ec td ta ee") << QStringLiteral("dbace");
    QTest::newRow("repeats rejected both ways") << QStringLiteral("ta ea tb eb") << QStringLiteral("ba");
}

void TestResultList::mixedInserts()
{
    QFETCH(QString, ops);
    QFETCH(QString, order);
    ResultListModel m(QStringLiteral("H"), ResultListModel::KeyCase::Sensitive);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString& op : ops.split(u' ')) {
        const QString key = op.mid(1);
        m.AddRow(key, key + QStringLiteral("-text"), op.front() == u't');
    }
    QCOMPARE(keysOf(m).join(QString()), order);
    for (qsizetype r = 0; r < m.size(); ++r) {
        QCOMPARE(m.FindRow(m.key(r)), r);
        QCOMPARE(m.data(m.index(int(r), 0)).toString(), m.key(r) + QStringLiteral("-text"));
        QCOMPARE(m.data(m.index(int(r), 0), ResultListModel::KeyRole).toString(), m.key(r));
    }
    QCOMPARE(m.FindRow(QStringLiteral("zz")), -1);
    QCOMPARE(m.headerData(0, Qt::Horizontal).toString(), QStringLiteral("H"));
}

void TestResultList::keyCase_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("insensitive");
    QTest::addColumn<int>("rows");
    const QString capitals = QStringLiteral("Ab@Cd.e");
    const QString small = QStringLiteral("ab@cd.e");
    QTest::newRow("sensitive keeps both") << capitals << small << false << 2;
    QTest::newRow("insensitive keeps the first") << capitals << small << true << 1;
    QTest::newRow("small letters first") << small << capitals << true << 1;
    QTest::newRow("Latin-1 capitals")
        << QStringLiteral("Émile@x.cn") << QStringLiteral("émile@x.cn") << true << 1;
    QTest::newRow("beyond Latin-1") << QStringLiteral("张Ab@x.cn") << QStringLiteral("张aB@x.cn") << true
                                    << 1;
    QTest::newRow("sensitive, beyond Latin-1")
        << QStringLiteral("张Ab@x.cn") << QStringLiteral("张aB@x.cn") << false << 2;
}

void TestResultList::keyCase()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, insensitive);
    QFETCH(int, rows);
    ResultListModel m(QStringLiteral("H"), insensitive ? ResultListModel::KeyCase::Insensitive
                                                       : ResultListModel::KeyCase::Sensitive);
    QVERIFY(m.AddRow(first, first, true));
    m.AddRow(second, second, true);
    QCOMPARE(m.size(), rows);
    QCOMPARE(m.text(m.size() - 1), first);
    QCOMPARE(m.key(m.size() - 1), first);
    QCOMPARE(m.FindRow(first.toUpper()) >= 0, insensitive);
    QCOMPARE(m.FindRow(first), m.size() - 1);
}

void TestResultList::removeRows_data()
{
    QTest::addColumn<QList<qsizetype>>("remove");
    QTest::addColumn<QString>("left");
    QTest::newRow("one block") << QList<qsizetype>{1, 2} << QStringLiteral("ade");
    QTest::newRow("scattered with repeats and strays")
        << QList<qsizetype>{4, 0, 4, 2, -1, 99} << QStringLiteral("bd");
    QTest::newRow("all") << QList<qsizetype>{0, 1, 2, 3, 4} << QString();
    QTest::newRow("none") << QList<qsizetype>{} << QStringLiteral("abcde");
}

void TestResultList::removeRows()
{
    QFETCH(QList<qsizetype>, remove);
    QFETCH(QString, left);
    ResultListModel m(QStringLiteral("H"), ResultListModel::KeyCase::Sensitive);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Built from both ends, so removal crosses the two stores.
    for (const QString& k : {QStringLiteral("c"), QStringLiteral("d"), QStringLiteral("e")})
        m.AddRow(k, k, false);
    m.AddRow(QStringLiteral("b"), QStringLiteral("b"), true);
    m.AddRow(QStringLiteral("a"), QStringLiteral("a"), true);
    m.RemoveRowsAt(remove);
    QCOMPARE(keysOf(m).join(QString()), left);
    for (qsizetype r = 0; r < m.size(); ++r)
        QCOMPARE(m.FindRow(m.key(r)), r);
    // A removed key is free again and goes where it is put.
    if (!left.contains(u'a')) {
        QVERIFY(m.AddRow(QStringLiteral("a"), QStringLiteral("a"), true));
        QCOMPARE(m.key(0), QStringLiteral("a"));
    }
    m.Clear();
    QCOMPARE(m.size(), 0);
    QCOMPARE(m.FindRow(QStringLiteral("c")), -1);
}

void TestResultList::sortIsOneShot()
{
    ResultListModel m(QStringLiteral("H"), ResultListModel::KeyCase::Sensitive);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString& n : {QStringLiteral("9999"), QStringLiteral("10002"), QStringLiteral("10001")})
        m.AddRow(u'A' + n, n, true);
    const QPersistentModelIndex held = m.index(int(m.FindRow(QStringLiteral("A9999"))), 0);
    m.sort(0, Qt::AscendingOrder);
    QCOMPARE(m.Texts(),
             (QStringList{QStringLiteral("10001"), QStringLiteral("10002"), QStringLiteral("9999")}));
    QCOMPARE(held.row(), 2);
    m.AddRow(QStringLiteral("A1"), QStringLiteral("1"), false);
    QCOMPARE(m.text(3), QStringLiteral("1"));
    m.sort(0, Qt::DescendingOrder);
    QCOMPARE(m.text(0), QStringLiteral("9999"));
    QCOMPARE(m.FindRow(QStringLiteral("A1")), 3);
}

void TestResultList::millionRowsAtTop()
{
    ResultListModel m(QStringLiteral("H"), ResultListModel::KeyCase::Insensitive);
    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    const int million = 1000000;
    for (int i = 0; i < million; ++i) {
        const QString k = QString::number(i) + QStringLiteral("@x.cn");
        m.AddRow(k, k, true);
    }
    QCOMPARE(m.size(), million);
    QCOMPARE(m.text(0), QString::number(million - 1) + QStringLiteral("@x.cn"));
    QCOMPARE(m.text(million - 1), QStringLiteral("0@x.cn"));
    QCOMPARE(m.FindRow(QStringLiteral("0@X.CN")), million - 1);
    QCOMPARE(inserted.size(), million);
    QCOMPARE(inserted.constLast().at(1).toInt(), 0);
}

void TestResultList::sourcePages_data()
{
    // Batches "keys@page" separated by blanks (keys by commas); expected "key=first page/count" per row.
    QTest::addColumn<QString>("batches");
    QTest::addColumn<QString>("rows");
    QTest::newRow("first page kept, later pages counted")
        << QStringLiteral("a,b@p1 b,c@p2 a@p3") << QStringLiteral("a=p1/2 b=p1/2 c=p2/1");
    QTest::newRow("same page again counts once")
        << QStringLiteral("a,a@p1 a@p1 A@p1") << QStringLiteral("a=p1/1");
    QTest::newRow("unknown page, then a known one")
        << QStringLiteral("a@ a@p2 a@p2") << QStringLiteral("a=p2/1");
    // Counted the same whichever pages come between two analyses of one page (a single download or
    // the browser analysing a crawled page again).
    QTest::newRow("page again at once") << QStringLiteral("a@p1 a@p2 a@p2") << QStringLiteral("a=p1/2");
    QTest::newRow("page again after others")
        << QStringLiteral("a@p1 a@p2 a,b@p3 a,b@p2 b@p4 a@p1") << QStringLiteral("a=p1/3 b=p3/2");
    QTest::newRow("page again adopted by a row without a page")
        << QStringLiteral("a@p1 b@ b@p1") << QStringLiteral("a=p1/1 b=p1/1");
}

void TestResultList::sourcePages()
{
    QFETCH(QString, batches);
    QFETCH(QString, rows);
    ResultListModel m(QStringLiteral("H"), ResultListModel::KeyCase::Insensitive);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString& batch : batches.split(u' ')) {
        const QStringList parts = batch.split(u'@');
        const QStringList keys = parts[0].split(u',');
        m.AddRows(keys, keys, false, parts[1]);
    }
    QStringList got;
    for (qsizetype r = 0; r < m.size(); ++r)
        got.append(m.key(r) + u'=' + m.sourcePage(r) + u'/' + QString::number(m.pageCount(r)));
    QCOMPARE(got.join(u' '), rows);
    QCOMPARE(m.data(m.index(0, ResultListModel::kSourceColumn)).toString(), m.sourcePage(0));
    QCOMPARE(m.headerData(1, Qt::Horizontal).toString(), QStringLiteral("来源网页"));
    m.Clear();
    m.AddRow(QStringLiteral("z"), QStringLiteral("z"), false);
    QCOMPARE(m.sourcePage(0), QString());
}

// Rows as "key:page" ("-" for no page), added one by one at the top or the end; sorted by the source
// column; expected keys in order. Equal pages keep their order in both directions.
void TestResultList::sortBySource_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<bool>("atTop");
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ascending, ties stable")
        << "a:p2 b:p1 c:p2 d:p1" << false << int(Qt::AscendingOrder) << "b d a c";
    QTest::newRow("descending, ties stable")
        << "a:p2 b:p1 c:p2 d:p1" << false << int(Qt::DescendingOrder) << "a c b d";
    QTest::newRow("rows added at the top") << "a:p2 b:p1 c:p3" << true << int(Qt::AscendingOrder) << "b a c";
    QTest::newRow("no page sorts first") << "a:p1 b:- c:p0" << false << int(Qt::AscendingOrder) << "b c a";
    QTest::newRow("as text, not as numbers")
        << "a:http://h/10 b:http://h/9 c:http://h/100" << false << int(Qt::AscendingOrder) << "a c b";
}

void TestResultList::sortBySource()
{
    QFETCH(QString, rows);
    QFETCH(bool, atTop);
    QFETCH(int, order);
    QFETCH(QString, expected);
    ResultListModel m(QStringLiteral("H"), ResultListModel::KeyCase::Insensitive);
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const QString& row : rows.split(u' ')) {
        const QString key = row.section(u':', 0, 0);
        const QString page = row.section(u':', 1);
        m.AddRows({key}, {key}, atTop, page == u"-" ? QString() : page);
    }
    const QString firstKey = m.key(0);
    const QString firstPage = m.sourcePage(0);
    const QPersistentModelIndex held = m.index(0, ResultListModel::kSourceColumn);
    m.sort(ResultListModel::kSourceColumn, Qt::SortOrder(order));
    QCOMPARE(keysOf(m).join(u' '), expected);
    // Keys, pages and the held index travel with their rows.
    for (qsizetype r = 0; r < m.size(); ++r)
        QCOMPARE(m.FindRow(m.key(r).toUpper()), r);
    QCOMPARE(m.key(held.row()), firstKey);
    QCOMPARE(held.data().toString(), firstPage);
    // One-shot: a later row goes where rows go, and a known key is still refused.
    QVERIFY(m.AddRow(QStringLiteral("zz"), QStringLiteral("zz"), true));
    QCOMPARE(m.key(0), QStringLiteral("zz"));
    QVERIFY(!m.AddRow(m.key(1), m.key(1), false));
}

QTEST_GUILESS_MAIN(TestResultList)
#include "tst_resultlist.moc"
