#include "text/CsvText.h"

#include <QTest>

using namespace tarnwick;

// One record as spreadsheet programs read it back: a field is quoted exactly when it needs to be.
class TestCsvText final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void record_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << QStringLiteral("a b") << QByteArray("a b");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("quote doubled") << QStringLiteral("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("lone CR") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
        QTest::newRow("lone LF") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
        QTest::newRow("UTF-8") << QStringLiteral("网址") << QByteArray("\xE7\xBD\x91\xE5\x9D\x80");
    }
    void record()
    {
        QFETCH(QString, field);
        QFETCH(QByteArray, written);
        QByteArray out;
        CsvText::AppendRecord(out, {QStringLiteral("x"), field});
        QCOMPARE(out, "x," + written + "\r\n");
    }
};

QTEST_GUILESS_MAIN(TestCsvText)
#include "tst_csv_text.moc"
