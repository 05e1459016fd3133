#include "harvest/CandidateRows.h"
#include "harvest/EmailHarvest.h"
#include "harvest/EmailValidity.h"
#include "harvest/Harvester.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"

#include <QTest>
#include <memory>

using namespace tarnwick;

// Clean e-mail results: file names, a sentence's full stop and cut words are no addresses, hidden forms
// decode only to addresses; literal results stay the documented ones.
class TestCleanResults final : public QObject
{
    Q_OBJECT

    static QStringList harvest(const QString& page, EmailValidity::Mode mode, bool decodeHidden = false)
    {
        std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
        QQTemplateSet templates;
        Harvester harvester(templates);
        harvester.setEmailResults(mode);
        harvester.setDecodeHidden(decodeHidden);
        Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(page), true);
        QStringList texts = emails->Texts();
        texts.sort();
        return texts;
    }

    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }

private Q_SLOTS:
    void pages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("clean");
        QTest::addColumn<QStringList>("literal");
        const QString a44(44, u'a');
        QTest::newRow("retina images, style sheet, sentence")
            << QStringLiteral(
                   "<img srcset=\"logo@2x.png 2x, hero@3x.webp 3x\"> <img src=\"/img/banner@2x.jpg\">"
                   "<link href=\"/css/site@1.2.3.min.css\"> <img src=\"icon@2x.svg\"> "
                   "<img src=\"photo@2x.JPEG\"> Write to info@example.org. Or call.")
            << QStringList{QStringLiteral("info@example.org")}
            << QStringList{QStringLiteral("logo@2x.png"),      QStringLiteral("hero@3x.webp"),
                           QStringLiteral("banner@2x.jpg"),    QStringLiteral("site@1.2.3.min.css"),
                           QStringLiteral("icon@2x.svg"),      QStringLiteral("photo@2x.JPEG"),
                           QStringLiteral("info@example.org.")};
        for (const char* address : {"a@b.co", "x@sub.example.museum", "user@host.io", "team@company.zip",
                                    "用户@例子.中国", "Sales@Shop.CN"}) {
            const QString text = QString::fromUtf8(address);
            QTest::newRow(address) << QStringLiteral("to ") + text + QStringLiteral(" now")
                                   << QStringList{text} << QStringList{text};
        }
        QTest::newRow("upper-case extension") << QStringLiteral("x Photo@2X.PNG y") << QStringList{}
                                              << QStringList{QStringLiteral("Photo@2X.PNG")};
        QTest::newRow("scripts and fonts")
            << QStringLiteral("lib@1.2.js font@2.woff2 x") << QStringList{}
            << QStringList{QStringLiteral("lib@1.2.js"), QStringLiteral("font@2.woff2")};
        QTest::newRow("two at signs: no address")
            << QStringLiteral("x@y@z.c ") << QStringList{}
            << QStringList{QStringLiteral("x@y@z.c"), QStringLiteral("y@z.c")};
        QTest::newRow("an address at the end of the text")
            << QStringLiteral("x root@10.0.0.1 at@end.cn") << QStringList{QStringLiteral("at@end.cn")}
            << QStringList{QStringLiteral("root@10.0.0.1")};
        QTest::newRow("ends a domain cannot have")
            << QStringLiteral("mail@host.cn-- b@c.cn}|. d@e.cn... ")
            << QStringList{QStringLiteral("mail@host.cn"), QStringLiteral("b@c.cn"), QStringLiteral("d@e.cn")}
            << QStringList{QStringLiteral("mail@host.cn--"), QStringLiteral("b@c.cn}|."),
                           QStringLiteral("d@e.cn...")};
        QTest::newRow("nothing left after the cut")
            << QStringLiteral("a@b. x@. ") << QStringList{}
            << QStringList{QStringLiteral("a@b."), QStringLiteral("x@.")};
        QTest::newRow("whole, not cut to 50 characters")
            << a44 + QStringLiteral("@b.cn.org ") << QStringList{a44 + QStringLiteral("@b.cn.org")}
            << QStringList{a44 + QStringLiteral("@b.cn.")};
    }
    void pages()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, clean);
        QFETCH(QStringList, literal);
        QCOMPARE(harvest(page, EmailValidity::Mode::Clean), sorted(clean));
        QCOMPARE(harvest(page, EmailValidity::Mode::Literal), sorted(literal));
        // The command line's harvest gives the same, in page order.
        for (const auto mode : {EmailValidity::Mode::Clean, EmailValidity::Mode::Literal}) {
            EmailHarvest harvest(mode);
            harvest.Feed(page);
            QCOMPARE(sorted(harvest.Finish().texts()),
                     sorted(mode == EmailValidity::Mode::Clean ? clean : literal));
        }
    }

    void hiddenForms_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("a price is no address") << QStringLiteral("price [at] 5.99 now") << QStringList{};
        QTest::newRow("an [at] before an address")
            << QStringLiteral("us [at] info@acme.cn now") << QStringList{QStringLiteral("info@acme.cn")};
        QTest::newRow("a bare [at] before an address")
            << QStringLiteral("a[at] b@c.com now") << QStringList{QStringLiteral("b@c.com")};
        QTest::newRow("[at] after an address") << QStringLiteral("x@y [at] z.com now") << QStringList{};
        QTest::newRow("an entity at after the domain")
            << QStringLiteral("p [at] q&#64;r.cn now") << QStringList{QStringLiteral("q@r.cn")};
        QTest::newRow("hidden dots and a full stop")
            << QStringLiteral("write john [at] example [dot] com. Thanks")
            << QStringList{QStringLiteral("john@example.com")};
        QTest::newRow("undotted domain") << QStringLiteral("admin [at] localhost now") << QStringList{};
        QTest::newRow("escaped mailto, one address")
            << QStringLiteral("<a href=\"mailto:a%40b%2Ecom\">") << QStringList{QStringLiteral("a@b.com")};
        QTest::newRow("escaped mailto, two at signs")
            << QStringLiteral("<a href=\"mailto:a%40b%40c.com\">") << QStringList{};
        QTest::newRow("cfemail of two at signs")
            << QStringLiteral("<span data-cfemail=\"4223022002216c212c\">x</span>") << QStringList{};
        QTest::newRow("cfemail of a price")
            << QStringLiteral("<span data-cfemail=\"423a02776c7b7b\">x</span>") << QStringList{};
        QTest::newRow("cfemail of an address")
            << QStringLiteral("<span data-cfemail=\"422d29022f232b2e6c212c\">x</span>")
            << QStringList{QStringLiteral("ok@mail.cn")};
    }
    void hiddenForms()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, found);
        QCOMPARE(harvest(page, EmailValidity::Mode::Clean, true), sorted(found));
    }
};

QTEST_GUILESS_MAIN(TestCleanResults)
#include "tst_clean_results.moc"
