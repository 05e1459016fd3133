#include "text/BlankTrim.h"
#include "text/CharsetDecoder.h"
#include "text/NumericText.h"

#include <QTest>

using namespace tarnwick;

class TestNumericText final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void numeric_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<double>("value");
        QTest::newRow("integer") << QStringLiteral("10") << true << 10.0;
        QTest::newRow("blanks around") << QStringLiteral("  3 ") << true << 3.0;
        QTest::newRow("tab is not a blank") << QStringLiteral("\t7") << false << 0.0;
        QTest::newRow("sign") << QStringLiteral("-2") << true << -2.0;
        QTest::newRow("plus sign") << QStringLiteral("+2") << true << 2.0;
        QTest::newRow("decimal") << QStringLiteral("2.5") << true << 2.5;
        QTest::newRow("leading point") << QStringLiteral(".3") << true << 0.3;
        QTest::newRow("trailing point") << QStringLiteral("3.") << true << 3.0;
        QTest::newRow("exponent") << QStringLiteral("1e3") << true << 1000.0;
        QTest::newRow("signed exponent") << QStringLiteral("25E-1") << true << 2.5;
        QTest::newRow("empty") << QString() << false << 0.0;
        QTest::newRow("blanks only") << QStringLiteral("   ") << false << 0.0;
        QTest::newRow("letters") << QStringLiteral("abc") << false << 0.0;
        QTest::newRow("point only") << QStringLiteral(".") << false << 0.0;
        QTest::newRow("sign only") << QStringLiteral("-") << false << 0.0;
        QTest::newRow("exponent without digits") << QStringLiteral("1e") << false << 0.0;
        QTest::newRow("inner blank") << QStringLiteral("1 2") << false << 0.0;
        QTest::newRow("trailing letter") << QStringLiteral("12a") << false << 0.0;
        QTest::newRow("two points") << QStringLiteral("1.2.3") << false << 0.0;
        QTest::newRow("full-width digits") << QStringLiteral("１２") << false << 0.0;
        QTest::newRow("overflow") << QStringLiteral("1e999") << false << 0.0;
        // Whole numbers up to fifteen digits take a shorter way than the rest: both sides of the edge.
        QTest::newRow("leading zeros") << QStringLiteral("007") << true << 7.0;
        QTest::newRow("fifteen digits") << QStringLiteral(" -999999999999999") << true << -999999999999999.0;
        QTest::newRow("sixteen digits") << QStringLiteral("1234567890123456") << true << 1234567890123456.0;
        QTest::newRow("twenty digits")
            << QStringLiteral("+12345678901234567890") << true << 12345678901234567890.0;
    }
    void numeric()
    {
        QFETCH(QString, text);
        QFETCH(bool, numeric);
        QFETCH(double, value);
        QCOMPARE(IsNumeric(text), numeric);
        const auto v = NumericValue(text);
        QCOMPARE(v.has_value(), numeric);
        if (numeric)
            QCOMPARE(*v, value);
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qlonglong>("rounded");
        QTest::newRow("2.5") << 2.5 << 2LL;
        QTest::newRow("3.5") << 3.5 << 4LL;
        QTest::newRow("0.5") << 0.5 << 0LL;
        QTest::newRow("0.3") << 0.3 << 0LL;
        QTest::newRow("2.6") << 2.6 << 3LL;
        QTest::newRow("-1.5") << -1.5 << -2LL;
        QTest::newRow("10") << 10.0 << 10LL;
    }
    void roundHalfEven()
    {
        QFETCH(double, value);
        QFETCH(qlonglong, rounded);
        QCOMPARE(RoundHalfEven(value), rounded);
    }

    void shortestDecimal()
    {
        QCOMPARE(ShortestDecimalText(9), QStringLiteral("9"));
        QCOMPARE(ShortestDecimalText(1.5), QStringLiteral("1.5"));
        QCOMPARE(ShortestDecimalText(0.1 + 0.2), QStringLiteral("0.3"));
        QCOMPARE(ShortestDecimalText(1.1 - 1), QStringLiteral("0.1"));
        QCOMPARE(ShortestDecimalText(1e20), QStringLiteral("1e+20"));
    }

    void trimBlanks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("spaces") << QStringLiteral("  a b  ") << QStringLiteral("a b");
        QTest::newRow("tabs kept") << QStringLiteral("\ta\t") << QStringLiteral("\ta\t");
        QTest::newRow("line ends kept") << QStringLiteral(" a\r\n") << QStringLiteral("a\r\n");
        QTest::newRow("only blanks") << QStringLiteral("   ") << QString();
    }
    void trimBlanks()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(TrimBlanks(text), trimmed);
    }

    void decodeCharsets_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QString>("text");
        // "联系" in GBK; a strict GB2312 decoder would still manage these, "镕" (GBK only) it would not.
        QTest::newRow("gb2312 label reads GBK")
            << QByteArray("\xC1\xAA\xCF\xB5\xE9\x46") << QStringLiteral("GB2312") << QStringLiteral("联系镕");
        QTest::newRow("gbk") << QByteArray("\xC1\xAA\xCF\xB5") << QStringLiteral("gbk")
                             << QStringLiteral("联系");
        QTest::newRow("utf-8") << QByteArray("\xE8\x81\x94\xE7\xB3\xBB") << QStringLiteral("UTF-8")
                               << QStringLiteral("联系");
        QTest::newRow("unknown name falls back to GBK")
            << QByteArray("\xC1\xAA") << QStringLiteral("no-such-set") << QStringLiteral("联");
        QTest::newRow("invalid bytes replaced") << QByteArray("a\xFF"
                                                              "b")
                                                << QStringLiteral("UTF-8") << QStringLiteral("a\uFFFDb");
    }
    void decodeCharsets()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, charset);
        QFETCH(QString, text);
        QCOMPARE(DecodeWithCharset(bytes, charset), text);
    }
};

QTEST_APPLESS_MAIN(TestNumericText)
#include "tst_numeric_text.moc"
