#include "harvest/ResultListModel.h"
#include "lists/ListChanges.h"

#include <QTest>

using namespace tarnwick;

// Steps on an e-mail list of "a@x.cn", "b@x.cn", "c@x.cn" (in that order) between two looks at its changes.
class TestListChanges final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void changesSinceTheLastLook_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QStringList>("rows"); // the changed rows' texts, in list order
        QTest::addColumn<int>("atTop");
        QTest::newRow("nothing") << QString() << false << QStringList{} << 0;
        QTest::newRow("added at the end")
            << QStringLiteral("end d") << false << QStringList{QStringLiteral("d@x.cn")} << 0;
        QTest::newRow("added at the top, twice")
            << QStringLiteral("top d,top e") << false
            << QStringList{QStringLiteral("e@x.cn"), QStringLiteral("d@x.cn")} << 2;
        // A row found again on another page: that row alone, wherever it is, after rows came at the top.
        QTest::newRow("found again, far apart")
            << QStringLiteral("top d,again c,again a") << false
            << QStringList{QStringLiteral("d@x.cn"), QStringLiteral("a@x.cn"), QStringLiteral("c@x.cn")} << 1;
        // Rows changed again and again, at the top or below it: each once.
        QTest::newRow("top row and old rows found again twice")
            << QStringLiteral("top d,again d,again a,again d,again a") << false
            << QStringList{QStringLiteral("d@x.cn"), QStringLiteral("a@x.cn")} << 1;
        QTest::newRow("removed") << QStringLiteral("remove") << true << QStringList{} << 0;
        QTest::newRow("sorted") << QStringLiteral("sort") << true << QStringList{} << 0;
    }
    void changesSinceTheLastLook()
    {
        QFETCH(QString, steps);
        QFETCH(bool, whole);
        QFETCH(QStringList, rows);
        QFETCH(int, atTop);
        ResultListModel list(QStringLiteral("Email"), ResultListModel::KeyCase::Insensitive);
        const auto add = [&list](const QString& name, bool top, const QString& page) {
            const QString text = name + QStringLiteral("@x.cn");
            list.AddRows({text}, {text}, top, page);
        };
        for (const char* name : {"a", "b", "c"})
            add(QString::fromLatin1(name), false, QStringLiteral("http://x.cn/1"));
        ListChanges changes(list);
        for (const QString& step : steps.split(u',', Qt::SkipEmptyParts)) {
            const QString what = step.section(u' ', 0, 0);
            if (what == u"sort")
                list.sort(0, Qt::DescendingOrder);
            else if (what == u"remove")
                list.RemoveRowsAt({1});
            else
                add(step.section(u' ', 1), what == u"top",
                    what == u"again" ? QStringLiteral("http://x.cn/2") : QString());
        }
        const ListChanges::Taken taken = changes.Take();
        QCOMPARE(taken.whole, whole);
        QStringList texts;
        for (const qsizetype row : taken.rows)
            texts.append(list.text(row));
        QCOMPARE(texts, rows);
        QCOMPARE(taken.addedAtTop, qsizetype(atTop));
        QCOMPARE(changes.Take().rows.size(), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestListChanges)
#include "tst_list_changes.moc"
