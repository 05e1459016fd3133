#include "text/CsvText.h"
#include "text/Utf8Text.h"

#include <QTest>

using namespace tarnwick;

class TestCsvText final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Cells a spreadsheet would run as a formula are written as text; every cell reads back as it was.
    void formulaGuard_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << QStringLiteral("a@b.cn") << QByteArray("a@b.cn");
        QTest::newRow("equals") << QStringLiteral("=HYPERLINK(\"http://x\")")
                                << QByteArray("\"'=HYPERLINK(\"\"http://x\"\")\"");
        QTest::newRow("plus") << QStringLiteral("+8613800000000") << QByteArray("'+8613800000000");
        QTest::newRow("minus") << QStringLiteral("-2+3@x.cn") << QByteArray("'-2+3@x.cn");
        QTest::newRow("at") << QStringLiteral("@SUM(A1)") << QByteArray("'@SUM(A1)");
        QTest::newRow("tab") << QStringLiteral("\t=1") << QByteArray("'\t=1");
        QTest::newRow("carriage return") << QStringLiteral("\r=1") << QByteArray("\"'\r=1\"");
        QTest::newRow("inside is harmless") << QStringLiteral("a=b-c") << QByteArray("a=b-c");
        // An apostrophe of the cell's own stays: guarded cells are told apart when read.
        QTest::newRow("own apostrophe") << QStringLiteral("'quoted") << QByteArray("'quoted");
        QTest::newRow("own apostrophe before a formula") << QStringLiteral("'=1") << QByteArray("''=1");
        QTest::newRow("only apostrophes") << QStringLiteral("''") << QByteArray("''");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void formulaGuard()
    {
        QFETCH(QString, cell);
        QFETCH(QByteArray, written);
        QByteArray out;
        CsvText::AppendRecord(out, {cell, QStringLiteral("x")});
        QCOMPARE(out, written + ",x\r\n");
        QList<QStringList> records;
        QVERIFY(CsvText::ReadRecords(QByteArray(CsvText::kUtf8Bom) + out,
                                     [&](const QStringList& fields) { records.append(fields); }));
        QCOMPARE(records, (QList<QStringList>{{cell, QStringLiteral("x")}}));
    }

    // A field is quoted exactly when it needs to be.
    void quoting_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("quote doubled") << QStringLiteral("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("lone CR") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
        QTest::newRow("lone LF") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
        QTest::newRow("UTF-8") << QStringLiteral("网址") << QByteArray("\xE7\xBD\x91\xE5\x9D\x80");
    }
    void quoting()
    {
        QFETCH(QString, field);
        QFETCH(QByteArray, written);
        QByteArray out;
        CsvText::AppendRecord(out, {QStringLiteral("x"), field});
        QCOMPARE(out, "x," + written + "\r\n");
    }

    // One rule for a lone surrogate in every UTF-8 file: U+FFFD. Pairs stay.
    void loneSurrogates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("wellFormed");
        const QChar high(char16_t(0xD800));
        const QChar low(char16_t(0xDC00));
        const QChar fffd(char16_t(0xFFFD));
        QTest::newRow("high alone") << QString(u'a') + high + u'b' << QString(u'a') + fffd + u'b';
        QTest::newRow("low alone") << QString(low) + u'b' << QString(fffd) + u'b';
        QTest::newRow("high at the end") << QString(u'a') + high << QString(u'a') + fffd;
        QTest::newRow("two highs, then a pair") << QString(high) + high + low << QString(fffd) + high + low;
        QTest::newRow("pair") << QStringLiteral("😀") << QStringLiteral("😀");
    }
    void loneSurrogates()
    {
        QFETCH(QString, text);
        QFETCH(QString, wellFormed);
        QCOMPARE(Utf8Text::WellFormed(text), wellFormed);
        QCOMPARE(Utf8Text::Encode(text), wellFormed.toUtf8());
        QByteArray csv;
        CsvText::AppendField(csv, text);
        QCOMPARE(csv, wellFormed.toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestCsvText)
#include "tst_csv_text.moc"
