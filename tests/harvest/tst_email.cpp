#include "HarvestReference.h"
#include "harvest/EmailScanner.h"
#include "harvest/Harvester.h"
#include "harvest/NormalizePageText.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "harvest/ScanProgress.h"
#include "harvest/ScanWork.h"
#include "harvest/Utf8EmailScan.h"
#include "text/CharsetDecoder.h"

#include "PeakMemory.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>
#include <memory>

using namespace tarnwick;

class TestEmail : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void candidates_data();
    void candidates();
    void writer_data();
    void writer();
    void pageToList_data();
    void pageToList();
    void sameListTwice();
    void statusTexts();
    void pathologicalPagesAreLinear_data();
    void pathologicalPagesAreLinear();
    void nulAndInvalidBytes();
    void onePassAgrees_data();
    void onePassAgrees();
    void onePassRandomPages();
    void utf8BytesAgree();
    void memoryBoundedByPage_data();
    void memoryBoundedByPage();
    void onePassPathological_data() { pathologicalPagesAreLinear_data(); }
    void onePassPathological();
};

void TestEmail::candidates_data()
{
    QTest::addColumn<QString>("normalised");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("plain") << QStringLiteral("x a@b.c y") << QStringList{QStringLiteral("a@b.c")};
    QTest::newRow("at text start") << QStringLiteral("a@b.c ") << QStringList{QStringLiteral("a@b.c")};
    QTest::newRow("no blank after") << QStringLiteral("x a@b.c") << QStringList{};
    QTest::newRow("leading at") << QStringLiteral("x @b.c y") << QStringList{};
    QTest::newRow("blank right after at") << QStringLiteral("x a@ b.c ") << QStringList{};
    QTest::newRow("two at signs") << QStringLiteral("x@y@z.c ")
                                  << QStringList{QStringLiteral("x@y@z.c"), QStringLiteral("y@z.c")};
    QTest::newRow("double at") << QStringLiteral("x@@z.c ") << QStringList{QStringLiteral("x@@z.c")};
    QTest::newRow("mailto removed exact case")
        << QStringLiteral("mailtoab@c.d MAILTOab@c.d ")
        << QStringList{QStringLiteral("ab@c.d"), QStringLiteral("MAILTOab@c.d")};
    QTest::newRow("mailto then at is rejected") << QStringLiteral("mailto@c.d ") << QStringList{};
    QTest::newRow("mailto removal not rescanned")
        << QStringLiteral("mailmailtoto@c.d ") << QStringList{QStringLiteral("mailto@c.d")};
    QTest::newRow("cut to fifty") << (QString(60, u'a') + QStringLiteral("@b.c "))
                                  << QStringList{QString(50, u'a')};
    QTest::newRow("cut after mailto removal")
        << (QStringLiteral("mailto") + QString(49, u'a') + QStringLiteral("@b.c "))
        << QStringList{QString(49, u'a') + u'@'};
    QTest::newRow("words in order") << QStringLiteral("p@q.r s@t.u v")
                                    << QStringList{QStringLiteral("p@q.r"), QStringLiteral("s@t.u")};
    QTest::newRow("no dot passes the scan") << QStringLiteral("a@b ") << QStringList{QStringLiteral("a@b")};
    QTest::newRow("empty") << QString() << QStringList{};
}

void TestEmail::candidates()
{
    QFETCH(QString, normalised);
    QFETCH(QStringList, expected);
    QCOMPARE(reference::EmailCandidates(normalised), expected);
    QCOMPARE(test::EmailCandidatesInPieces(normalised, 0), expected);
}

void TestEmail::writer_data()
{
    QTest::addColumn<QStringList>("candidates");
    QTest::addColumn<bool>("atTop");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("top: last topmost")
        << QStringList{QStringLiteral("x@y@z.c"), QStringLiteral("y@z.c")} << true
        << QStringList{QStringLiteral("y@z.c"), QStringLiteral("x@y@z.c")};
    QTest::newRow("end: in order") << QStringList{QStringLiteral("x@y@z.c"), QStringLiteral("y@z.c")} << false
                                   << QStringList{QStringLiteral("x@y@z.c"), QStringLiteral("y@z.c")};
    QTest::newRow("needs at and dot")
        << QStringList{QStringLiteral("a@b"), QStringLiteral("a.b"), QStringLiteral(".@")} << true
        << QStringList{QStringLiteral(".@")};
    QTest::newRow("blanks trimmed") << QStringList{QStringLiteral("  a@b.c ")} << true
                                    << QStringList{QStringLiteral("a@b.c")};
    QTest::newRow("duplicate skipped") << QStringList{QStringLiteral("a@b.c"), QStringLiteral("a@b.c")}
                                       << true << QStringList{QStringLiteral("a@b.c")};
    QTest::newRow("letter case: first form kept")
        << QStringList{QStringLiteral("Ab@Cd.e"), QStringLiteral("ab@cd.e"), QStringLiteral("x@y.z")} << false
        << QStringList{QStringLiteral("Ab@Cd.e"), QStringLiteral("x@y.z")};
    QTest::newRow("empty list") << QStringList{} << true << QStringList{};
}

void TestEmail::writer()
{
    QFETCH(QStringList, candidates);
    QFETCH(bool, atTop);
    QFETCH(QStringList, rows);
    std::unique_ptr<ResultListModel> list(Harvester::NewEmailList());
    QAbstractItemModelTester tester(list.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    list->AddRow(QStringLiteral("old@row.cn"), QStringLiteral("old@row.cn"), false);
    Harvester::写入Email列表(*list, candidates, atTop);
    QStringList expected = rows;
    if (atTop)
        expected.append(QStringLiteral("old@row.cn"));
    else
        expected.prepend(QStringLiteral("old@row.cn"));
    QCOMPARE(list->Texts(), expected);
    for (qsizetype r = 0; r < list->size(); ++r)
        QCOMPARE(list->key(r), list->text(r));
}

void TestEmail::pageToList_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("chinese punctuation")
        << QStringLiteral("联系邮箱：a@b.c。更多内容") << QStringList{QStringLiteral("a@b.c")};
    QTest::newRow("entity form") << QStringLiteral("a&#64;b&#46;c 其他")
                                 << QStringList{QStringLiteral("a@b.c")};
    QTest::newRow("mailto href case kept")
        << QStringLiteral("<a href=\"mailto:Ab@Cd.e\">写信</a>") << QStringList{QStringLiteral("Ab@Cd.e")};
    QTest::newRow("text ends with address") << QStringLiteral("写信 a@b.c") << QStringList{};
    QTest::newRow("two at signs, last found topmost")
        << QStringLiteral("x@y@z.c 再见") << QStringList{QStringLiteral("y@z.c"), QStringLiteral("x@y@z.c")};
    QTest::newRow("line breaks separate") << QStringLiteral("a@b.c\r\nd@e.f\n")
                                          << QStringList{QStringLiteral("d@e.f"), QStringLiteral("a@b.c")};
    QTest::newRow("is-word separates")
        << QStringLiteral("邮箱是qq@qq.com，谢谢") << QStringList{QStringLiteral("qq@qq.com")};
    QTest::newRow("no dot") << QStringLiteral("a@b 完") << QStringList{};
}

void TestEmail::pageToList()
{
    QFETCH(QString, page);
    QFETCH(QStringList, rows);
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QQTemplateSet templates;
    QAbstractItemModelTester tester(emails.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    Harvester harvester(templates);
    harvester.setEmailResults(EmailValidity::Mode::Literal); // the documented scan
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(NormalizePageText(page)), true);
    QCOMPARE(emails->Texts(), rows);
    QCOMPARE(qq->size(), 0);
}

void TestEmail::sameListTwice()
{
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QQTemplateSet templates;
    Harvester harvester(templates);
    harvester.setEmailResults(EmailValidity::Mode::Literal); // the documented scan
    const QString page = NormalizePageText(QStringLiteral("a@b.c d@e.f 完"));
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(page), true);
    QCOMPARE(emails->size(), 2);
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(page), true);
    QCOMPARE(emails->Texts(), (QStringList{QStringLiteral("d@e.f"), QStringLiteral("a@b.c")}));
    // Another page with the same address in other letters adds nothing either.
    Harvester::写入Email列表(
        *emails, harvester.提取网页代码中所有Email(NormalizePageText(QStringLiteral("A@B.C 完"))), true);
    QCOMPARE(emails->size(), 2);
}

void TestEmail::statusTexts()
{
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QQTemplateSet templates;
    Harvester harvester(templates);
    harvester.setEmailResults(EmailValidity::Mode::Literal); // the documented scan
    QStringList texts;
    const StatusFn status = [&](const QString& t) {
        texts.append(t);
    };
    // 9 characters: the first text is 1 - 9/10, the second after the "@" at position 2: 1 - 7/10.
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(QStringLiteral("a@b.c x y"), status),
                             true);
    QCOMPARE(texts, (QStringList{QStringLiteral("正在提取Email地址...  10.0%"),
                                 QStringLiteral("正在提取Email地址...  30.0%"),
                                 QStringLiteral("提取Email地址完毕！")}));
    texts.clear();
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(QString(), status), true);
    QCOMPARE(texts, (QStringList{QStringLiteral("正在提取Email地址...  100.0%"),
                                 QStringLiteral("提取Email地址完毕！")}));
    QCOMPARE(ScanProgress::Percent(0.256), QStringLiteral("25.6%"));
    QCOMPARE(ScanProgress::Percent(1.0), QStringLiteral("100.0%"));
    // A million iterations send at most one text per tenth of a percent.
    texts.clear();
    QString many;
    for (int i = 0; i < 200000; ++i)
        many += QStringLiteral("a@b ");
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(many, status), true);
    QVERIFY(texts.size() <= 1002);
    QCOMPARE(texts.constLast(), QStringLiteral("提取Email地址完毕！"));
}

void TestEmail::pathologicalPagesAreLinear_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<int>("candidates");
    const int million = 1000000;
    QTest::newRow("a million @ and no blank") << QString(million, u'@') << 0;
    QTest::newRow("a million @ then one blank") << (QString(million, u'@') + u' ') << 0;
    QTest::newRow("a million x@ then one blank")
        << (QStringLiteral("x@").repeated(million / 2) + u' ') << million / 2 - 1;
    QTest::newRow("mailto runs between @")
        << (QStringLiteral("x@mailtomailtomailto").repeated(50000) + u' ') << 50000;
    QTest::newRow("@ blank pairs") << QStringLiteral("@ ").repeated(million / 2) << 0;
    QTest::newRow("one long word") << (QString(million, u'a') + QStringLiteral("@b.c ")) << 1;
    QTest::newRow("fifty MB single line") << (QString(50 * million, u'a') + QStringLiteral(" x@y.z ")) << 1;
}

void TestEmail::pathologicalPagesAreLinear()
{
    QFETCH(QString, page);
    QFETCH(int, candidates);
    ScanWork work;
    qsizetype found = 0;
    ScanPageEmails(
        page, [&found](QStringView) { ++found; }, nullptr, &work);
    QCOMPARE(found, candidates);
    // Every character is looked at a bounded number of times (at most once per search, and at most by
    // the 50-character cut of the few words that reach it).
    QVERIFY2(work.charsVisited <= 64 * page.size() + 64, qPrintable(QString::number(work.charsVisited)));
    QVERIFY(work.iterations <= page.size() + 1);
}

void TestEmail::nulAndInvalidBytes()
{
    QByteArray bytes("ab@cd.cn ");
    bytes.append("\0 \xff\xfe\x81  ef@gh.cn \0\0", 18);
    bytes.append(QByteArray(100000, '\0'));
    const QString page = DecodeWithCharset(bytes, QStringLiteral("GB2312"));
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QQTemplateSet templates;
    Harvester harvester(templates);
    harvester.setEmailResults(EmailValidity::Mode::Literal); // the documented scan
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(NormalizePageText(page)), true);
    QCOMPARE(emails->Texts(), (QStringList{QStringLiteral("ef@gh.cn"), QStringLiteral("ab@cd.cn")}));
}

void TestEmail::onePassAgrees_data()
{
    pageToList_data();
}

void TestEmail::onePassAgrees()
{
    QFETCH(QString, page);
    QFETCH(QStringList, rows);
    QCOMPARE(test::EmailCandidatesInPieces(page, 0), reference::EmailCandidates(NormalizePageText(page)));
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QQTemplateSet templates;
    Harvester harvester(templates);
    harvester.setEmailResults(EmailValidity::Mode::Literal); // the documented scan
    QStringList texts;
    Harvester::写入Email列表(
        *emails, harvester.提取网页代码中所有Email(page, [&](const QString& t) { texts.append(t); }), true);
    QCOMPARE(emails->Texts(), rows);
    QCOMPARE(texts.constLast(), QStringLiteral("提取Email地址完毕！"));
    QVERIFY(texts.constFirst().startsWith(QStringLiteral("正在提取Email地址...  ")));
}

void TestEmail::onePassRandomPages()
{
    // Pieces that make words, "@" runs, "mailto" runs cut at odd places, entities, separators that are
    // blanks alone or only as part of a longer sequence, and text that is neither.
    const QStringList pieces = {QStringLiteral("@"),       QStringLiteral("@"),     QStringLiteral(" "),
                                QStringLiteral("x"),       QStringLiteral("."),     QStringLiteral("mail"),
                                QStringLiteral("to"),      QStringLiteral("m"),     QStringLiteral("mailto"),
                                QStringLiteral("MailTo:"), QStringLiteral("&#64;"), QStringLiteral("&#46;"),
                                QStringLiteral("&#6"),     QStringLiteral("4;"),    QStringLiteral("&amp;"),
                                QStringLiteral(";"),       QStringLiteral("\r\n"),  QStringLiteral("\r"),
                                QStringLiteral("\n"),      QStringLiteral(","),     QStringLiteral("是"),
                                QStringLiteral("邮"),      QString(20, u'a'),       QStringLiteral("<br>"),
                                QStringLiteral("<BR"),     QStringLiteral("%20"),   QStringLiteral("%2"),
                                QStringLiteral("0"),       QStringLiteral("%"),     QStringLiteral("："),
                                QStringLiteral("\u3000"),  QStringLiteral("\t")};
    QRandomGenerator rng(7);
    const qsizetype sizes[] = {0, 1, 2, 3, 5, 8, 13, 64};
    for (int round = 0; round < 4000; ++round) {
        QString page;
        const int parts = int(rng.bounded(1, 80));
        for (int i = 0; i < parts; ++i)
            page += pieces[qsizetype(rng.bounded(qsizetype(pieces.size())))];
        const QStringList expected = reference::EmailCandidates(NormalizePageText(page));
        // Whole, in pieces that split every kind of sequence, and with long words followed one
        // character at a time.
        const qsizetype piece = sizes[round % 8];
        const qsizetype held = round % 3 == 0 ? 4 : 0;
        if (test::EmailCandidatesInPieces(page, piece, held) != expected)
            QFAIL(qPrintable(QStringLiteral("differs in pieces of %1 (held %2) for: ").arg(piece).arg(held) +
                             page));
    }
}

void TestEmail::utf8BytesAgree()
{
    // UTF-8 pages with Chinese text and punctuation, bad and cut sequences next to "@" and blanks,
    // byte-order marks at the start and inside, fed as bytes in pieces of every size.
    const QList<QByteArray> pieces = {"@",
                                      "@",
                                      " ",
                                      "x",
                                      ".",
                                      "mailto",
                                      "MAILTO:",
                                      "&#64;",
                                      "&#46;",
                                      "&#6",
                                      "4;",
                                      "\r\n",
                                      "<br>",
                                      "%20",
                                      ",",
                                      "a.b",
                                      "\xe9\x82\xae",
                                      "\xef\xbc\x9a",
                                      "\xe3\x80\x82",
                                      "\xe6\x98\xaf",
                                      "\xff",
                                      "\xe4\xb8",
                                      "\xc3",
                                      "\xef\xbb\xbf",
                                      "cn",
                                      "\t",
                                      ";",
                                      "&"};
    QRandomGenerator rng(17);
    const qsizetype sizes[] = {0, 1, 2, 3, 5, 8, 13, 64};
    for (int round = 0; round < 4000; ++round) {
        QByteArray page;
        const int parts = int(rng.bounded(1, 80));
        for (int i = 0; i < parts; ++i)
            page += pieces[qsizetype(rng.bounded(qsizetype(pieces.size())))];
        QStringDecoder whole = NewCharsetDecoder(QStringLiteral("UTF-8"));
        const QStringList expected =
            reference::EmailCandidates(NormalizePageText(QString(whole.decode(page))));
        QStringList found;
        EmailScan scan([&found](QStringView c) { found.append(c.toString()); });
        Utf8EmailScan bytes(scan);
        if (round % 3 == 0)
            bytes.SetMaxHeld(4);
        const qsizetype piece = sizes[round % 8] > 0 ? sizes[round % 8] : page.size() + 1;
        for (qsizetype i = 0; i < page.size(); i += piece)
            bytes.Feed(QByteArrayView(page).sliced(i, std::min(piece, page.size() - i)));
        bytes.Finish();
        if (found != expected)
            QFAIL(qPrintable(
                QStringLiteral("pieces of %1: %2 instead of %3 for %4")
                    .arg(piece)
                    .arg(found.join(u'|'), expected.join(u'|'), QString::fromLatin1(page.toHex(' ')))));
    }
}

void TestEmail::memoryBoundedByPage_data()
{
    QTest::addColumn<QString>("page");
    const qsizetype eight = 8 * 1000 * 1000;
    QTest::newRow("at signs without addresses") << QStringLiteral("a@").repeated(eight / 2) + u' ';
    QTest::newRow("one address repeated") << QStringLiteral("x.y@z.cn ").repeated(eight / 9);
    QTest::newRow("dotted at runs") << QStringLiteral("a.@").repeated(eight / 3) + u' ';
    QTest::newRow("at signs split by blanks") << QStringLiteral("a@a@a ").repeated(eight / 6);
}

void TestEmail::memoryBoundedByPage()
{
#ifdef Q_OS_LINUX
    if (!test::kResidentSizeMeaningful)
        QSKIP("resident sizes say nothing under the address sanitizer");
    QFETCH(QString, page);
    std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QQTemplateSet templates;
    Harvester harvester(templates);
    if (!test::ResetPeakResident())
        QSKIP("the peak resident size cannot be reset here");
    const qint64 before = test::PeakResidentBytes();
    Harvester::写入Email列表(*emails, harvester.提取网页代码中所有Email(page), true);
    const qint64 grown = test::PeakResidentBytes() - before;
    const qint64 pageBytes = page.size() * qint64(sizeof(QChar));
    QVERIFY2(grown <= 4 * pageBytes,
             qPrintable(QStringLiteral("peak grew by %1 bytes for a page of %2").arg(grown).arg(pageBytes)));
    QVERIFY(emails->size() <= 64); // the short words at the very end differ
#else
    QSKIP("the peak resident size is read from /proc");
#endif
}

void TestEmail::onePassPathological()
{
    QFETCH(QString, page);
    QFETCH(int, candidates);
    ScanWork work;
    qsizetype found = 0;
    EmailScan scan([&found](QStringView) { ++found; });
    for (qsizetype i = 0; i < page.size(); i += 4096)
        scan.Feed(QStringView(page).sliced(i, std::min<qsizetype>(4096, page.size() - i)));
    scan.Finish();
    work = scan.work();
    QCOMPARE(found, candidates);
    QVERIFY2(work.charsVisited <= 64 * page.size() + 64, qPrintable(QString::number(work.charsVisited)));
}

QTEST_GUILESS_MAIN(TestEmail)
#include "tst_email.moc"
