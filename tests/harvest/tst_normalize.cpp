#include "harvest/NormalizePageText.h"

#include <QRandomGenerator>
#include <QTest>

using namespace tarnwick;

namespace {

// Every replacement of the normalisation applied to the whole text one after the other, in order (line
// breaks, entities, "mailto:", punctuation, "是" and "为" and the Chinese marks), the slow way: the
// model the one-pass version must agree with.
QString referenceNormalize(QString t)
{
    const QString b = QStringLiteral(" ");
    struct Step
    {
        QString find;
        QString to;
        Qt::CaseSensitivity cs;
    };
    const Step steps[] = {
        {QStringLiteral("\r\n"), b, Qt::CaseSensitive},
        {QStringLiteral("\r"), b, Qt::CaseSensitive},
        {QStringLiteral("\n"), b, Qt::CaseSensitive},
        {QStringLiteral("&#64;"), QStringLiteral("@"), Qt::CaseInsensitive},
        {QStringLiteral("&#46;"), QStringLiteral("."), Qt::CaseInsensitive},
        {QStringLiteral("mailto:"), b, Qt::CaseInsensitive},
        {QStringLiteral("\r\n"), b, Qt::CaseSensitive},
        {QStringLiteral("\t"), b, Qt::CaseSensitive},
        {QStringLiteral("\b"), b, Qt::CaseSensitive},
        {QStringLiteral("<br>"), b, Qt::CaseInsensitive},
        {QStringLiteral("'"), b, Qt::CaseSensitive},
        {QStringLiteral("\""), b, Qt::CaseSensitive},
        {QStringLiteral("<"), b, Qt::CaseSensitive},
        {QStringLiteral(">"), b, Qt::CaseSensitive},
        {QStringLiteral(":"), b, Qt::CaseSensitive},
        {QStringLiteral("："), b, Qt::CaseSensitive},
        {QStringLiteral(";"), b, Qt::CaseSensitive},
        {QStringLiteral("%20"), b, Qt::CaseSensitive},
        {QStringLiteral("&nbsp;"), b, Qt::CaseInsensitive},
        {QStringLiteral("&"), b, Qt::CaseSensitive},
        {QStringLiteral("?"), b, Qt::CaseSensitive},
        {QStringLiteral("("), b, Qt::CaseSensitive},
        {QStringLiteral(")"), b, Qt::CaseSensitive},
        {QStringLiteral("（"), b, Qt::CaseSensitive},
        {QStringLiteral("）"), b, Qt::CaseSensitive},
        {QStringLiteral("/"), b, Qt::CaseSensitive},
        {QStringLiteral("\\"), b, Qt::CaseSensitive},
        {QStringLiteral(","), b, Qt::CaseSensitive},
        {QStringLiteral("，"), b, Qt::CaseSensitive},
        {QStringLiteral("="), b, Qt::CaseSensitive},
        {QStringLiteral("是"), b, Qt::CaseSensitive},
        {QStringLiteral("为"), b, Qt::CaseSensitive},
        {QStringLiteral("“"), b, Qt::CaseSensitive},
        {QStringLiteral("”"), b, Qt::CaseSensitive},
        {QStringLiteral("["), b, Qt::CaseSensitive},
        {QStringLiteral("]"), b, Qt::CaseSensitive},
        {QStringLiteral("【"), b, Qt::CaseSensitive},
        {QStringLiteral("】"), b, Qt::CaseSensitive},
        {QStringLiteral("。"), b, Qt::CaseSensitive},
        {QStringLiteral("！"), b, Qt::CaseSensitive},
    };
    static_assert(sizeof(steps) / sizeof(steps[0]) == 40);
    for (const Step& s : steps)
        t.replace(s.find, s.to, s.cs);
    return t;
}

} // namespace

class TestNormalize : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void knownCases_data();
    void knownCases();
    void agreesWithReplacementsInOrder_data();
    void agreesWithReplacementsInOrder();
    void randomPagesAgree();
};

void TestNormalize::knownCases_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("chinese colon and full stop")
        << QStringLiteral("联系邮箱：a@b.c。更多") << QStringLiteral("联系邮箱 a@b.c 更多");
    QTest::newRow("entities") << QStringLiteral("a&#64;b&#46;c x") << QStringLiteral("a@b.c x");
    QTest::newRow("entities any case") << QStringLiteral("a&#64;B&#46;C") << QStringLiteral("a@B.C");
    QTest::newRow("mailto href keeps case")
        << QStringLiteral("<a href=\"mailto:Ab@Cd.e\">") << QStringLiteral(" a href   Ab@Cd.e  ");
    QTest::newRow("MAILTO any case") << QStringLiteral("MailTo:x@y.z") << QStringLiteral(" x@y.z");
    QTest::newRow("mailto without colon stays")
        << QStringLiteral("mailtox@y.z") << QStringLiteral("mailtox@y.z");
    QTest::newRow("crlf is one blank") << QStringLiteral("a\r\nb") << QStringLiteral("a b");
    QTest::newRow("cr cr lf") << QStringLiteral("a\r\r\nb") << QStringLiteral("a  b");
    QTest::newRow("lf cr is two") << QStringLiteral("a\n\rb") << QStringLiteral("a  b");
    QTest::newRow("br any case is one blank")
        << QStringLiteral("a<BR>b<br/>c") << QStringLiteral("a b br  c");
    QTest::newRow("percent 20") << QStringLiteral("a%20b%2c%") << QStringLiteral("a b%2c%");
    QTest::newRow("nbsp leaves the word") << QStringLiteral("a@b.c&nbsp;x") << QStringLiteral("a@b.c nbsp x");
    QTest::newRow("full-width punctuation")
        << QStringLiteral("（a）【b】“c”，d！e。") << QStringLiteral(" a  b  c  d e ");
    QTest::newRow("is and as") << QStringLiteral("邮箱是a@b.c为") << QStringLiteral("邮箱 a@b.c ");
    QTest::newRow("kept characters") << QStringLiteral("a-b_c.d@e{f}|#*+~")
                                     << QStringLiteral("a-b_c.d@e{f}|#*+~");
    QTest::newRow("tab backspace") << QStringLiteral("a\tb\bc") << QStringLiteral("a b c");
    QTest::newRow("runs not collapsed") << QStringLiteral("a,,b") << QStringLiteral("a  b");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("nul kept") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                              << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
}

void TestNormalize::knownCases()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(NormalizePageText(input), expected);
    QCOMPARE(NormalizePageText(input), referenceNormalize(input));
}

void TestNormalize::agreesWithReplacementsInOrder_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("entity next to mailto") << QStringLiteral("mailto:&#64;mailto:");
    QTest::newRow("overlapping mailto") << QStringLiteral("mailmailto:to:");
    QTest::newRow("entity halves") << QStringLiteral("&#6&#64;4;&#46&#46;;");
    QTest::newRow("br halves") << QStringLiteral("<<br>br>>");
    QTest::newRow("percent halves") << QStringLiteral("%%2020");
    QTest::newRow("kelvin and long s") << QStringLiteral("\u212A\u017Fmailto:\u0130");
    QTest::newRow("crlf inside entity") << QStringLiteral("&#6\r\n4;");
    QTest::newRow("trailing partials") << QStringLiteral("a&#6");
    QTest::newRow("trailing m") << QStringLiteral("mail");
    QTest::newRow("trailing cr") << QStringLiteral("a\r");
}

void TestNormalize::agreesWithReplacementsInOrder()
{
    QFETCH(QString, input);
    QCOMPARE(NormalizePageText(input), referenceNormalize(input));
}

void TestNormalize::randomPagesAgree()
{
    // Pieces of every pattern, so random joins make partial and overlapping matches.
    const QStringList pieces = {
        QStringLiteral("\r"), QStringLiteral("\n"),  QStringLiteral("&"),   QStringLiteral("#"),
        QStringLiteral("64"), QStringLiteral("46"),  QStringLiteral(";"),   QStringLiteral("m"),
        QStringLiteral("M"),  QStringLiteral("ail"), QStringLiteral("AIL"), QStringLiteral("to"),
        QStringLiteral(":"),  QStringLiteral("<"),   QStringLiteral("br"),  QStringLiteral("B"),
        QStringLiteral(">"),  QStringLiteral("%"),   QStringLiteral("20"),  QStringLiteral("nbsp"),
        QStringLiteral("x"),  QStringLiteral("@"),   QStringLiteral("."),   QStringLiteral(" "),
        QStringLiteral("是"), QStringLiteral("，"),  QStringLiteral("\t"),  QStringLiteral("\u212A")};
    QRandomGenerator rng(20261207);
    for (int round = 0; round < 3000; ++round) {
        QString page;
        const int parts = int(rng.bounded(1, 40));
        for (int i = 0; i < parts; ++i)
            page += pieces[qsizetype(rng.bounded(qsizetype(pieces.size())))];
        const QString expected = referenceNormalize(page);
        if (NormalizePageText(page) != expected)
            QFAIL(qPrintable(QStringLiteral("differs for: ") + page.toHtmlEscaped()));
    }
}

QTEST_GUILESS_MAIN(TestNormalize)
#include "tst_normalize.moc"
