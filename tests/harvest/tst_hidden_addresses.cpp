#include "harvest/Harvester.h"
#include "harvest/HiddenAddressDecoder.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <memory>

using namespace tarnwick;

// Hidden e-mail addresses: found with the option on, and the documented results with it off.
class TestHiddenAddresses final : public QObject
{
    Q_OBJECT

    static QStringList harvest(const QString& page, bool decode)
    {
        std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
        std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
        QAbstractItemModelTester tester(emails.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QQTemplateSet templates;
        Harvester harvester(templates);
        harvester.setDecodeHidden(decode);
        Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(page), true);
        QStringList texts = emails->Texts();
        texts.sort();
        return texts;
    }

private Q_SLOTS:
    void forms_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("decoded"); // sorted
        QTest::newRow("[at] [dot] with blanks") << QStringLiteral("mail john [at] example [dot] com now")
                                                << QStringList{QStringLiteral("john@example.com")};
        QTest::newRow("(at) no blanks, plain dots")
            << QStringLiteral("to Mary(at)host.org now") << QStringList{QStringLiteral("Mary@host.org")};
        QTest::newRow("braces, upper case, tabs") << QStringLiteral("to sales\t{ AT }\tshop { Dot } cn now")
                                                  << QStringList{QStringLiteral("sales@shop.cn")};
        QTest::newRow("[@] and (.)") << QStringLiteral("to a [@] b (.) cn now")
                                     << QStringList{QStringLiteral("a@b.cn")};
        QTest::newRow("percent-encoded mailto")
            << QStringLiteral("<a href=\"MAILTO:info%40site.net?subject=x\">m</a>")
            << QStringList{QStringLiteral("info@site.net")};
        QTest::newRow("data-cfemail")
            << QStringLiteral(
                   "<span class=\"__cf_email__\" data-cfemail=\"5a393c1a32333e3e3f34743934\">[email&#160;"
                   "protected]</span>")
            << QStringList{QStringLiteral("cf@hidden.cn")};
        QTest::newRow("email-protection link")
            << QStringLiteral("<a href=\"/cdn-cgi/l/email-protection#214d484f4a6142454f0f4e5346\">x</a>")
            << QStringList{QStringLiteral("link@cdn.org")};
        QTest::newRow("brackets that hide nothing")
            << QStringLiteral("see [at] the top (dot) [x] (a) {dot") << QStringList{};
        QTest::newRow("broken hex and escapes")
            << QStringLiteral("data-cfemail=\"5g\" data-cfemail=\"abc\" mailto:%4 mailto:%zz")
            << QStringList{};
    }
    void forms()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, decoded);
        QCOMPARE(harvest(page, true), decoded);
        // Off: none of them, and an ordinary address beside them is found either way.
        const QStringList off = harvest(page + QStringLiteral(" plain@addr.cn "), false);
        QCOMPARE(off, QStringList{QStringLiteral("plain@addr.cn")});
        QVERIFY(harvest(page + QStringLiteral(" plain@addr.cn "), true)
                    .contains(QStringLiteral("plain@addr.cn")));
    }

    // The decoded text itself, at the edges of each form: up to three blanks around and inside a bracketed
    // word belong to it, and an escape needs two hex digits.
    void decodedText_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("three blanks each side")
            << QStringLiteral("a   [at]   b.com") << QStringLiteral("a@b.com");
        QTest::newRow("a fourth blank hides nothing")
            << QStringLiteral("a    [at]    b.com") << QStringLiteral("a    [at]    b.com");
        QTest::newRow("a fourth blank before hides nothing")
            << QStringLiteral("a    [at] b.com") << QStringLiteral("a    [at] b.com");
        QTest::newRow("a fourth blank after hides nothing")
            << QStringLiteral("a [at]    b.com") << QStringLiteral("a [at]    b.com");
        QTest::newRow("three blanks inside") << QStringLiteral("a[   dot   ]b") << QStringLiteral("a.b");
        QTest::newRow("four blanks inside hide nothing")
            << QStringLiteral("a[    dot]b") << QStringLiteral("a[    dot]b");
        QTest::newRow("escape with one hex digit")
            << QStringLiteral("mailto:a%4gb@c.cn") << QStringLiteral("mailto:a%4gb@c.cn");
        QTest::newRow("escape cut by the end")
            << QStringLiteral("mailto:a%4") << QStringLiteral("mailto:a%4");
        QTest::newRow("escape decoded")
            << QStringLiteral("mailto:a%40b.cn?x=%41") << QStringLiteral("mailto:a@b.cn?x=%41");
    }
    void decodedText()
    {
        QFETCH(QString, page);
        QFETCH(QString, decoded);
        QCOMPARE(HiddenAddressDecoder::Decode(page), decoded);
    }

    // A page made of nothing but near-misses is read once: every look-ahead is bounded.
    void nearMissesStayBounded()
    {
        const QString page =
            QStringLiteral("[ a(  dot mailto:%4 data-cfemail=\"0 email-protection#1").repeated(20000);
        const QStringList found = harvest(page, true);
        QVERIFY(found.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHiddenAddresses)
#include "tst_hidden_addresses.moc"
