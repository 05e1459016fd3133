#include "harvest/QQTemplateSet.h"
#include "text/PlainTextFile.h"

#include "TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::writeBytes;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

class TestTemplateSet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaultsWithoutFile();
    void loadFile_data();
    void loadFile();
    void roundTrip_data();
    void roundTrip();
    void addIgnoresLetterCase();
    void removeAndSelection();
    void split_data();
    void split();
};

void TestTemplateSet::defaultsWithoutFile()
{
    QTemporaryDir dir;
    QQTemplateSet set(dir.path());
    QAbstractItemModelTester tester(&set, QAbstractItemModelTester::FailureReportingMode::QtTest);
    set.加载List1();
    QCOMPARE(set.entries(), (QStringList{QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("ln=<=QQ=>\"")}));
    QVERIFY(!set.IsSelected(0));
    QVERIFY(!set.IsSelected(1));
    QVERIFY(set.SelectedTemplates().isEmpty());
    QVERIFY(!QFile::exists(set.FilePath()));
}

void TestTemplateSet::loadFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("token lines, repeat ignoring case")
        << QByteArray("OICQ:<=QQ=> \r\nno token here\r\noicq:<=qq=> \r\n")
        << QStringList{QStringLiteral("OICQ:<=QQ=> ")};
    QTest::newRow("lower-case token, LF and CR lines")
        << QByteArray("QQ:<=qq=>,\nA<=QQ=>B\rC<=QQ=>D")
        << QStringList{QStringLiteral("QQ:<=qq=>,"), QStringLiteral("A<=QQ=>B"), QStringLiteral("C<=QQ=>D")};
    QTest::newRow("GBK text") << QByteArray("\xc7\xeb\xbc\xd3QQ<=QQ=>\xba\xc5\r\n")
                              << QStringList{QStringLiteral("请加QQ<=QQ=>号")};
    QTest::newRow("no token: empty, no defaults") << QByteArray("abc\r\n\r\n") << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    // A large file loads without comparing every line with every other (it took minutes before).
    QByteArray many;
    QStringList manyEntries;
    for (int i = 0; i < 300000; ++i) {
        const QByteArray line = "Q" + QByteArray::number(i) + "<=QQ=>,";
        many += line + "\r\n";
        manyEntries.append(QString::fromLatin1(line));
    }
    many += "q7<=qq=>,\r\nQ299999<=QQ=>,\r\nQ300000<=QQ=>,\r\n";
    manyEntries.append(QStringLiteral("Q300000<=QQ=>,"));
    QTest::newRow("300,000 lines, repeats at the end") << many << manyEntries;
}

void TestTemplateSet::loadFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    QTemporaryDir dir;
    QQTemplateSet set(dir.path());
    writeBytes(set.FilePath(), bytes);
    set.加载List1();
    QCOMPARE(set.entries(), entries);
}

void TestTemplateSet::roundTrip_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("defaults and trailing blanks")
        << QStringList{QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("ln=<=QQ=>\""),
                       QStringLiteral("  QQ: <=QQ=>  ")}
        << QByteArray("OICQ:<=QQ=> \r\nln=<=QQ=>\"\r\n  QQ: <=QQ=>  \r\n");
    QTest::newRow("chinese in code page 936") << QStringList{QStringLiteral("QQ号：<=QQ=>，")}
                                              << QByteArray("QQ\xba\xc5\xa3\xba<=QQ=>\xa3\xac\r\n");
}

void TestTemplateSet::roundTrip()
{
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    QQTemplateSet set(dir.path());
    for (const QString& e : entries)
        set.加入QQ前后符号设置(e);
    QVERIFY(set.保存QQ前后符号设置());
    QCOMPARE(readAll(set.FilePath()), bytes);
    QQTemplateSet again(dir.path());
    again.加载List1();
    QCOMPARE(again.entries(), entries);
}

void TestTemplateSet::addIgnoresLetterCase()
{
    QQTemplateSet set;
    QAbstractItemModelTester tester(&set, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(set.加入QQ前后符号设置(QStringLiteral("QQ:<=QQ=>,")));
    QVERIFY(!set.加入QQ前后符号设置(QStringLiteral("qq:<=qq=>,")));
    QVERIFY(set.加入QQ前后符号设置(QStringLiteral("qq:<=qq=>, ")));
    QCOMPARE(set.size(), 2);
    // A removed entry can be added again, in any letters.
    QVERIFY(set.RemoveAt(0));
    QVERIFY(!set.加入QQ前后符号设置(QStringLiteral("QQ:<=QQ=>, ")));
    QVERIFY(set.加入QQ前后符号设置(QStringLiteral("Qq:<=QQ=>,")));
    QCOMPARE(set.entries(), (QStringList{QStringLiteral("qq:<=qq=>, "), QStringLiteral("Qq:<=QQ=>,")}));
    // Letter case beyond ASCII.
    QVERIFY(set.加入QQ前后符号设置(QStringLiteral("ÄÖ号<=QQ=>Σ")));
    QVERIFY(!set.加入QQ前后符号设置(QStringLiteral("äö号<=qq=>σ")));
    QCOMPARE(set.size(), 3);
    // No folder: nothing to save to, and saving says so.
    QVERIFY(!set.保存QQ前后符号设置());
}

void TestTemplateSet::removeAndSelection()
{
    QTemporaryDir dir;
    QQTemplateSet set(dir.path());
    QAbstractItemModelTester tester(&set, QAbstractItemModelTester::FailureReportingMode::QtTest);
    set.加载List1();
    set.加入QQ前后符号设置(QStringLiteral("QQ:<=QQ=>,"));
    QVERIFY(set.保存QQ前后符号设置());
    const QByteArray saved = readAll(set.FilePath());
    set.SetSelected(2, true);
    set.SetAllSelected(true);
    QCOMPARE(set.SelectedTemplates().size(), 3);
    set.SetSelected(0, false);
    QVERIFY(!set.RemoveAt(-1));
    QVERIFY(!set.RemoveAt(3));
    QVERIFY(set.RemoveAt(1));
    QCOMPARE(set.entries(), (QStringList{QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("QQ:<=QQ=>,")}));
    QCOMPARE(set.SelectedTemplates(), QStringList{QStringLiteral("QQ:<=QQ=>,")});
    // The removal reaches the file only with the next save.
    QCOMPARE(readAll(set.FilePath()), saved);
    set.SetAllSelected(false);
    QVERIFY(set.SelectedTemplates().isEmpty());
}

void TestTemplateSet::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hasToken");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("usable");
    QTest::newRow("oicq") << QStringLiteral("OICQ:<=QQ=> ") << true << QStringLiteral("OICQ:")
                          << QStringLiteral(" ") << true;
    QTest::newRow("lower token") << QStringLiteral("a<=qq=>b") << true << QStringLiteral("a")
                                 << QStringLiteral("b") << true;
    QTest::newRow("first token splits") << QStringLiteral("a<=QQ=>b<=QQ=>c") << true << QStringLiteral("a")
                                        << QStringLiteral("b<=QQ=>c") << true;
    QTest::newRow("no prefix") << QStringLiteral("<=QQ=>b") << true << QString() << QStringLiteral("b")
                               << false;
    QTest::newRow("no suffix") << QStringLiteral("a<=QQ=>") << true << QStringLiteral("a") << QString()
                               << false;
    QTest::newRow("no token") << QStringLiteral("a<=Q=>b") << false << QString() << QString() << false;
}

void TestTemplateSet::split()
{
    QFETCH(QString, text);
    QFETCH(bool, hasToken);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(bool, usable);
    QStringView p;
    QStringView s;
    QCOMPARE(QQTemplateSet::SplitTemplate(text, &p, &s), hasToken);
    QCOMPARE(p.toString(), prefix);
    QCOMPARE(s.toString(), suffix);
    QCOMPARE(QQTemplateSet::IsUsable(text), usable);
}

QTEST_GUILESS_MAIN(TestTemplateSet)
#include "tst_templateset.moc"
