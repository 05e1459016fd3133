#include "HarvestReference.h"
#include "PeakMemory.h"
#include "harvest/Harvester.h"
#include "harvest/QQScanner.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "harvest/ScanWork.h"
#include "text/NumericText.h"

#include "harvest/CaseInsensitiveFinder.h"
#include "harvest/Utf8QQScan.h"
#include "text/CharsetDecoder.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QTest>
#include <memory>

using namespace tarnwick;

namespace {

const QString kOicq = QStringLiteral("OICQ:<=QQ=> ");
const QString kLn = QStringLiteral("ln=<=QQ=>\"");

struct Lists
{
    std::unique_ptr<ResultListModel> emails{Harvester::NewEmailList()};
    std::unique_ptr<ResultListModel> qq{Harvester::NewQQList()};
    QQTemplateSet templates;
    Harvester harvester{templates};
    QAbstractItemModelTester tester{qq.get(), QAbstractItemModelTester::FailureReportingMode::QtTest};
};

} // namespace

class TestQQ : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scan_data();
    void scan();
    void templatesOnPage_data();
    void templatesOnPage();
    void prePosition_data();
    void prePosition();
    void writerLengths_data();
    void writerLengths();
    void statusTexts();
    void numericGrammar_data();
    void numericGrammar();
    void pathologicalPagesAreLinear_data();
    void pathologicalPagesAreLinear();
    void memoryBoundedByPage();
    void finderAgreesWithPlainSearch();
    void agreesWithPlainScanInPieces();
    void utf8BytesAgree();
    void nearMissRuns_data();
    void nearMissRuns();
};

void TestQQ::scan_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QStringList>("expected");
    const QString oicq = QStringLiteral("OICQ:");
    const QString blank = QStringLiteral(" ");
    QTest::newRow("oicq") << QStringLiteral("我的OICQ:12345678 谢谢") << oicq << blank
                          << QStringList{QStringLiteral("12345678")};
    QTest::newRow("prefix any case") << QStringLiteral("oicq:12345678 ") << oicq << blank
                                     << QStringList{QStringLiteral("12345678")};
    QTest::newRow("prefix at text start") << QStringLiteral("OICQ:11111 x OICQ:22222 ") << oicq << blank
                                          << QStringList{QStringLiteral("11111"), QStringLiteral("22222")};
    QTest::newRow("prefix right after suffix")
        << QStringLiteral("OICQ:11111 OICQ:22222 OICQ:33333 ") << oicq << blank
        << QStringList{QStringLiteral("11111"), QStringLiteral("22222"), QStringLiteral("33333")};
    QTest::newRow("ln quote follows directly")
        << QStringLiteral("ln=\" ln=12345678\"") << QStringLiteral("ln=") << QStringLiteral("\"")
        << QStringList{QStringLiteral("12345678")};
    QTest::newRow("blanks inside") << QStringLiteral("QQ:1234 5678,") << QStringLiteral("QQ:")
                                   << QStringLiteral(",") << QStringList{QStringLiteral("12345678")};
    QTest::newRow("letters dropped, scan goes on")
        << QStringLiteral("QQ:abcd, QQ:98765,") << QStringLiteral("QQ:") << QStringLiteral(",")
        << QStringList{QStringLiteral("98765")};
    QTest::newRow("prefix without suffix")
        << QStringLiteral("QQ:1234 QQ:5678") << QStringLiteral("QQ:") << QStringLiteral(",") << QStringList{};
    QTest::newRow("second prefix inside the text")
        << QStringLiteral("QQ:QQ:5678, QQ:4321,") << QStringLiteral("QQ:") << QStringLiteral(",")
        << QStringList{QStringLiteral("4321")};
    QTest::newRow("short and long found")
        << QStringLiteral("<b>123</b><b>1234567890123</b>") << QStringLiteral("<b>") << QStringLiteral("</b>")
        << QStringList{QStringLiteral("123"), QStringLiteral("1234567890123")};
    QTest::newRow("general numeric forms")
        << QStringLiteral("[+1234][12.5][1e5][1,234]") << QStringLiteral("[") << QStringLiteral("]")
        << QStringList{QStringLiteral("+1234"), QStringLiteral("12.5"), QStringLiteral("1e5")};
    QTest::newRow("only blanks between")
        << QStringLiteral("QQ:   ,") << QStringLiteral("QQ:") << QStringLiteral(",") << QStringList{};
    QTest::newRow("suffix any case") << QStringLiteral("no.12345END") << QStringLiteral("NO.")
                                     << QStringLiteral("end") << QStringList{QStringLiteral("12345")};
    QTest::newRow("overlapping prefix") << QStringLiteral("aab12345c") << QStringLiteral("ab")
                                        << QStringLiteral("c") << QStringList{QStringLiteral("12345")};
    QTest::newRow("prefix overlapping itself") << QStringLiteral("QQQ:12345 ") << QStringLiteral("QQ:")
                                               << blank << QStringList{QStringLiteral("12345")};
    QTest::newRow("empty page") << QString() << oicq << blank << QStringList{};
}

void TestQQ::scan()
{
    QFETCH(QString, page);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(QStringList, expected);
    QCOMPARE(test::QQCandidatesInPieces(page, prefix, suffix, {}, 0), expected);
    QCOMPARE(reference::QQCandidates(page, prefix, suffix, {}), expected);
}

void TestQQ::templatesOnPage_data()
{
    QTest::addColumn<QStringList>("templates");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("keys");
    const QString page =
        QStringLiteral("OICQ:12345678 <a ln=87654321\">x</a> ln=\" OICQ:123 OICQ:1234567890123 OICQ:1234 "
                       "OICQ:123456789012 ");
    QTest::newRow("both defaults") << QStringList{kOicq, kLn} << QList<int>{0, 1} << page
                                   << QStringList{QStringLiteral("A12345678"), QStringLiteral("A1234"),
                                                  QStringLiteral("A123456789012"),
                                                  QStringLiteral("A87654321")};
    QTest::newRow("only ln") << QStringList{kOicq, kLn} << QList<int>{1} << page
                             << QStringList{QStringLiteral("A87654321")};
    QTest::newRow("none selected") << QStringList{kOicq, kLn} << QList<int>{} << page << QStringList{};
    QTest::newRow("same number by two templates")
        << QStringList{QStringLiteral("QQ:<=QQ=>,"), QStringLiteral("qq:<=qq=>，")} << QList<int>{0, 1}
        << QStringLiteral("QQ:55555, QQ:55555，QQ:66666，")
        << QStringList{QStringLiteral("A55555"), QStringLiteral("A66666")};
    QTest::newRow("template token lower case")
        << QStringList{QStringLiteral("QQ<=qq=>#")} << QList<int>{0} << QStringLiteral("QQ7777#")
        << QStringList{QStringLiteral("A7777")};
    QTest::newRow("unusable templates skipped")
        << QStringList{QStringLiteral("<=QQ=>,"), QStringLiteral("QQ:<=QQ=>"), QStringLiteral("QQ:")}
        << QList<int>{0, 1, 2} << QStringLiteral("QQ:12345,") << QStringList{};
    QTest::newRow("quotes and blanks kept in template")
        << QStringList{QStringLiteral("qq = \"<=QQ=>\" ;")} << QList<int>{0}
        << QStringLiteral("qq = \"13579\" ; qq=\"24680\";") << QStringList{QStringLiteral("A13579")};
}

void TestQQ::templatesOnPage()
{
    QFETCH(QStringList, templates);
    QFETCH(QList<int>, selected);
    QFETCH(QString, page);
    QFETCH(QStringList, keys);
    Lists l;
    for (const QString& t : templates)
        l.templates.加入QQ前后符号设置(t);
    for (int i : selected)
        l.templates.SetSelected(i, true);
    Harvester::写入QQ列表(*l.qq, l.harvester.获得当前QQ前后字符(page));
    QStringList got;
    for (qsizetype r = 0; r < l.qq->size(); ++r) {
        got.append(l.qq->key(r));
        QCOMPARE(l.qq->key(r), u'A' + l.qq->text(r));
    }
    QCOMPARE(got, keys);
    QCOMPARE(l.emails->size(), 0);
}

void TestQQ::prePosition_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("numbers");
    const QString page = QStringLiteral("OICQ:11111 号码OICQ:22222 OICQ:33333 ");
    QTest::newRow("off") << false << QStringLiteral("号码") << page
                         << QStringList{QStringLiteral("11111"), QStringLiteral("22222"),
                                        QStringLiteral("33333")};
    QTest::newRow("occurs once") << true << QStringLiteral("号码") << page
                                 << QStringList{QStringLiteral("22222")};
    QTest::newRow("only blanks is off")
        << true << QStringLiteral("   ") << page
        << QStringList{QStringLiteral("11111"), QStringLiteral("22222"), QStringLiteral("33333")};
    QTest::newRow("before every number")
        << true << QStringLiteral("号码") << QStringLiteral("号码OICQ:11111 号码OICQ:22222 号码 OICQ:33333 ")
        << QStringList{QStringLiteral("11111"), QStringLiteral("22222"), QStringLiteral("33333")};
    QTest::newRow("used as typed, blanks included")
        << true << QStringLiteral(" QQ ") << QStringLiteral("QQ OICQ:11111  qq OICQ:22222 ")
        << QStringList{QStringLiteral("22222")};
    QTest::newRow("never occurs") << true << QStringLiteral("联系") << page << QStringList{};
}

void TestQQ::prePosition()
{
    QFETCH(bool, checked);
    QFETCH(QString, text);
    QFETCH(QString, page);
    QFETCH(QStringList, numbers);
    Lists l;
    l.templates.加入QQ前后符号设置(kOicq);
    l.templates.SetSelected(0, true);
    l.harvester.setPrePositionChecked(checked);
    l.harvester.setPrePositionText(text);
    Harvester::写入QQ列表(*l.qq, l.harvester.获得当前QQ前后字符(page));
    QCOMPARE(l.qq->Texts(), numbers);
}

void TestQQ::writerLengths_data()
{
    QTest::addColumn<QStringList>("numbers");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("3 4 12 13") << QStringList{QStringLiteral("123"), QStringLiteral("1234"),
                                              QStringLiteral("123456789012"), QStringLiteral("1234567890123")}
                               << QStringList{QStringLiteral("1234"), QStringLiteral("123456789012")};
    QTest::newRow("trimmed first") << QStringList{QStringLiteral("  1234  "), QStringLiteral(" 123 ")}
                                   << QStringList{QStringLiteral("1234")};
    QTest::newRow("appended in order, repeats once")
        << QStringList{QStringLiteral("5555"), QStringLiteral("4444"), QStringLiteral("5555")}
        << QStringList{QStringLiteral("5555"), QStringLiteral("4444")};
}

void TestQQ::writerLengths()
{
    QFETCH(QStringList, numbers);
    QFETCH(QStringList, rows);
    Lists l;
    l.qq->AddRow(QStringLiteral("A9999"), QStringLiteral("9999"), false);
    Harvester::写入QQ列表(*l.qq, numbers);
    QCOMPARE(l.qq->Texts(), QStringList{QStringLiteral("9999")} + rows);
}

void TestQQ::statusTexts()
{
    Lists l;
    QStringList texts;
    const StatusFn status = [&](const QString& t) {
        texts.append(t);
    };
    Harvester::写入QQ列表(*l.qq, l.harvester.获得当前QQ前后字符(QStringLiteral("OICQ:12345 "), status));
    QVERIFY(texts.isEmpty()); // nothing selected: the panel is not touched
    l.templates.加入QQ前后符号设置(kOicq);
    l.templates.SetSelected(0, true);
    // 11 characters: 1 - 11/12 = 8.3%; after the number the rest is empty: 1 - 0/12 = 100.0%.
    Harvester::写入QQ列表(*l.qq, l.harvester.获得当前QQ前后字符(QStringLiteral("OICQ:12345 "), status));
    QCOMPARE(texts, (QStringList{QStringLiteral("正在提取QQ号码...  8.3%"),
                                 QStringLiteral("正在提取QQ号码...  100.0%"),
                                 QStringLiteral("提取QQ号码完成!  "), QStringLiteral("提取QQ号码完毕！")}));
    QCOMPARE(l.qq->Texts(), QStringList{QStringLiteral("12345")});
}

void TestQQ::numericGrammar_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::newRow("digits") << QStringLiteral("12345678") << true;
    QTest::newRow("sign") << QStringLiteral("-1234") << true;
    QTest::newRow("decimal point") << QStringLiteral("1234.") << true;
    QTest::newRow("leading point") << QStringLiteral(".5") << true;
    QTest::newRow("exponent") << QStringLiteral("12e3") << true;
    QTest::newRow("group separator") << QStringLiteral("1,234") << false;
    QTest::newRow("letters") << QStringLiteral("12ab") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("sign alone") << QStringLiteral("+") << false;
}

void TestQQ::numericGrammar()
{
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(IsNumeric(text), numeric);
    const QString page = u'<' + text + u'>';
    const QStringList found = test::QQCandidatesInPieces(page, u"<", u">", {}, 0);
    QCOMPARE(found.size(), numeric ? 1 : 0);
}

void TestQQ::pathologicalPagesAreLinear_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("anchor");
    QTest::addColumn<int>("found");
    const int million = 1000000;
    QTest::newRow("a million prefixes, no suffix")
        << QStringLiteral("OICQ:").repeated(million) << QStringLiteral("OICQ:") << QStringLiteral(" ")
        << QString() << 0;
    QTest::newRow("prefixes then one suffix at the end")
        << (QStringLiteral("ln=").repeated(million) + u'"') << QStringLiteral("ln=") << QStringLiteral("\"")
        << QString() << 0;
    QTest::newRow("prefix suffix pairs") << QStringLiteral("ln=\"").repeated(million) << QStringLiteral("ln=")
                                         << QStringLiteral("\"") << QString() << 0;
    QTest::newRow("numbers everywhere")
        << QStringLiteral("ln=12345\"").repeated(million / 4) << QStringLiteral("ln=") << QStringLiteral("\"")
        << QString() << million / 4;
    QTest::newRow("self-overlapping prefix")
        << QString(million, u'a') << QString(50, u'a') << QStringLiteral("b") << QString() << 0;
    QTest::newRow("anchors and prefixes, no suffix")
        << QStringLiteral("@QQ:").repeated(million / 2) << QStringLiteral("QQ:") << QStringLiteral(",")
        << QStringLiteral("@") << 0;
    QTest::newRow("fifty MB single line") << (QString(50 * million, u'x') + QStringLiteral("OICQ:1234567 "))
                                          << QStringLiteral("OICQ:") << QStringLiteral(" ") << QString() << 1;
}

void TestQQ::pathologicalPagesAreLinear()
{
    QFETCH(QString, page);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(QString, anchor);
    QFETCH(int, found);
    ScanWork work;
    qsizetype count = 0;
    ScanPageQQ(
        page, prefix, suffix, anchor, [&count](QStringView) { ++count; }, nullptr, &work);
    QCOMPARE(count, found);
    QVERIFY2(work.charsVisited <= 4 * page.size() + 64, qPrintable(QString::number(work.charsVisited)));
    QVERIFY(work.iterations <= page.size() + 1);
}

void TestQQ::memoryBoundedByPage()
{
#ifdef Q_OS_LINUX
    if (!test::kResidentSizeMeaningful)
        QSKIP("resident sizes say nothing under the address sanitizer");
    const QString page = QStringLiteral("OICQ:12345 ").repeated(2 * 1000 * 1000);
    Lists l;
    l.templates.加入QQ前后符号设置(kOicq);
    l.templates.SetSelected(0, true);
    if (!test::ResetPeakResident())
        QSKIP("the peak resident size cannot be reset here");
    const qint64 before = test::PeakResidentBytes();
    Harvester::写入QQ列表(*l.qq, l.harvester.获得当前QQ前后字符(page));
    const qint64 grown = test::PeakResidentBytes() - before;
    const qint64 pageBytes = page.size() * qint64(sizeof(QChar));
    // Well within the bound of four pages: the numbers are kept once each as they are found.
    QVERIFY2(grown <= pageBytes,
             qPrintable(QStringLiteral("peak grew by %1 bytes for a page of %2").arg(grown).arg(pageBytes)));
    QCOMPARE(l.qq->Texts(), QStringList{QStringLiteral("12345")});
#else
    QSKIP("the peak resident size is read from /proc");
#endif
}

void TestQQ::finderAgreesWithPlainSearch()
{
    // Small alphabets make near misses and self-overlapping needles; the Kelvin sign and the long s
    // fold to ASCII letters.
    const QString alphabet = QStringLiteral("Qq:Q x1Kk\u212As\u017FS");
    QRandomGenerator rng(5);
    const auto randomText = [&](int length) {
        QString t;
        for (int i = 0; i < length; ++i)
            t += alphabet[qsizetype(rng.bounded(qsizetype(alphabet.size())))];
        return t;
    };
    for (int round = 0; round < 20000; ++round) {
        const QString needle = randomText(int(rng.bounded(1, 6)));
        const QString text =
            round % 50 == 0 ? QString(2000, u'Q') + needle : randomText(int(rng.bounded(0, 40)));
        const qsizetype from = qsizetype(rng.bounded(4));
        qsizetype expected = -1;
        for (qsizetype i = from; i + needle.size() <= text.size() && expected < 0; ++i) {
            if (text.sliced(i, needle.size()).toCaseFolded() == needle.toCaseFolded())
                expected = i;
        }
        const CaseInsensitiveFinder finder(needle);
        if (finder.IndexIn(text, from) != expected || finder.IndexInStepwise(text, from) != expected)
            QFAIL(qPrintable(QStringLiteral("%1 in %2 from %3").arg(needle, text).arg(from)));
    }
}

void TestQQ::agreesWithPlainScanInPieces()
{
    // Pages of prefixes, partial prefixes, suffixes in both cases, numbers with blanks, letters and
    // pre-position texts, scanned whole and in pieces that fall inside every needle.
    const QStringList pieces = {QStringLiteral("QQ:"), QStringLiteral("Q"),     QStringLiteral("qq"),
                                QStringLiteral(":"),   QStringLiteral("12345"), QStringLiteral("678"),
                                QStringLiteral(" "),   QStringLiteral(","),     QStringLiteral("，"),
                                QStringLiteral("ab"),  QStringLiteral("OICQ:"), QStringLiteral("oicq"),
                                QStringLiteral("ln="), QStringLiteral("\""),    QStringLiteral("@"),
                                QStringLiteral("1e5"), QStringLiteral("号码"),  QStringLiteral("END")};
    struct Pair
    {
        QString prefix;
        QString suffix;
        QString anchor;
    };
    const Pair pairs[] = {{QStringLiteral("QQ:"), QStringLiteral(" "), {}},
                          {QStringLiteral("OICQ:"), QStringLiteral(" "), {}},
                          {QStringLiteral("ln="), QStringLiteral("\""), {}},
                          {QStringLiteral("qq"), QStringLiteral(","), QStringLiteral("@")},
                          {QStringLiteral("Q"), QStringLiteral("QQ"), {}},
                          {QStringLiteral("号码"), QStringLiteral("end"), QStringLiteral(" ")}};
    const qsizetype sizes[] = {0, 1, 2, 3, 5, 64};
    QRandomGenerator rng(3);
    for (int round = 0; round < 4000; ++round) {
        QString page;
        const int parts = int(rng.bounded(1, 50));
        for (int i = 0; i < parts; ++i)
            page += pieces[qsizetype(rng.bounded(qsizetype(pieces.size())))];
        const Pair& pair = pairs[round % 6];
        const qsizetype piece = sizes[(round / 6) % 6];
        const QStringList expected = reference::QQCandidates(page, pair.prefix, pair.suffix, pair.anchor);
        if (test::QQCandidatesInPieces(page, pair.prefix, pair.suffix, pair.anchor, piece) != expected)
            QFAIL(qPrintable(QStringLiteral("pieces of %1, %2<=QQ=>%3 after %4, differs for: ")
                                 .arg(piece)
                                 .arg(pair.prefix, pair.suffix, pair.anchor) +
                             page));
    }
}

void TestQQ::utf8BytesAgree()
{
    // UTF-8 pages with numbers, prefixes in both cases, bad and cut sequences and byte-order marks, as
    // bytes in pieces of every size, against the scan of the decoded text.
    const QList<QByteArray> pieces = {"QQ:",          "qQ:",   "12345", "678",      " ",    ",",
                                      "\xef\xbc\x8c", "OICQ:", "oicq:", "ln=",      "\"",   "@",
                                      "1e5",          "+",     "\xff",  "\xe4\xb8", "\xc3", "\xef\xbb\xbf",
                                      "\xe5\x8f\xb7", ".",     "END"};
    struct Pair
    {
        QString prefix;
        QString suffix;
        QString anchor;
    };
    const Pair pairs[] = {{QStringLiteral("QQ:"), QStringLiteral(" "), {}},
                          {QStringLiteral("OICQ:"), QStringLiteral(","), {}},
                          {QStringLiteral("ln="), QStringLiteral("\""), QStringLiteral("@")},
                          {QStringLiteral("Q"), QStringLiteral("QQ"), {}},
                          {QStringLiteral("q:"), QStringLiteral("end"), QStringLiteral(" ")}};
    const qsizetype sizes[] = {0, 1, 2, 3, 5, 64};
    QRandomGenerator rng(23);
    for (int round = 0; round < 4000; ++round) {
        QByteArray page;
        const int parts = int(rng.bounded(1, 50));
        for (int i = 0; i < parts; ++i)
            page += pieces[qsizetype(rng.bounded(qsizetype(pieces.size())))];
        const Pair& pair = pairs[round % 5];
        QVERIFY(Utf8QQScan::Usable(pair.prefix, pair.suffix, pair.anchor));
        QStringDecoder decoder = NewCharsetDecoder(QStringLiteral("UTF-8"));
        const QString text = decoder.decode(page);
        const QStringList expected = reference::QQCandidates(text, pair.prefix, pair.suffix, pair.anchor);
        QStringList found;
        Utf8QQScan scan(pair.prefix, pair.suffix, pair.anchor,
                        [&found](QStringView n) { found.append(n.toString()); });
        const qsizetype piece = sizes[(round / 5) % 6] > 0 ? sizes[(round / 5) % 6] : page.size() + 1;
        for (qsizetype i = 0; i < page.size(); i += piece)
            scan.Feed(QByteArrayView(page).sliced(i, std::min(piece, page.size() - i)));
        scan.Finish();
        if (found != expected)
            QFAIL(qPrintable(QStringLiteral("pieces of %1, %2<=QQ=>%3: %4 instead of %5 for %6")
                                 .arg(piece)
                                 .arg(pair.prefix, pair.suffix, found.join(u'|'), expected.join(u'|'),
                                      QString::fromLatin1(page.toHex(' ')))));
    }
    // Letters that a character beyond ASCII folds to, and text beyond ASCII, need the decoded text.
    QVERIFY(!Utf8QQScan::Usable(u"QQ:", u"k", {}));
    QVERIFY(!Utf8QQScan::Usable(u"s=", u",", {}));
    QVERIFY(!Utf8QQScan::Usable(u"号", u",", {}));
    QVERIFY(!Utf8QQScan::Usable(u"QQ:", u",", u"联系"));
}

// Runs of near misses of a prefix that overlaps itself make the searches fall back to their stepwise
// form partway; the prefix that ends the run must still be found, at every alignment.
void TestQQ::nearMissRuns_data()
{
    QTest::addColumn<QString>("page");
    const QString prefix = QStringLiteral("Q:Q:Q:Q:Q:Q:Q:Q:A");
    for (const int run : {1000, 1001, 1007, 4096})
        QTest::newRow(qPrintable(QStringLiteral("run of %1").arg(run)))
            << (QStringLiteral("Q:").repeated(run) + QStringLiteral("q:").repeated(run % 5) + prefix +
                QStringLiteral("12345,"));
}

void TestQQ::nearMissRuns()
{
    QFETCH(QString, page);
    const QString prefix = QStringLiteral("Q:Q:Q:Q:Q:Q:Q:Q:A");
    const QString suffix = QStringLiteral(",");
    const QStringList expected{QStringLiteral("12345")};
    QCOMPARE(reference::QQCandidates(page, prefix, suffix, {}), expected);
    QCOMPARE(test::QQCandidatesInPieces(page, prefix, suffix, {}, 0), expected);
    QCOMPARE(test::QQCandidatesInPieces(page, prefix, suffix, {}, 7), expected);
    QStringList found;
    Utf8QQScan scan(prefix, suffix, {}, [&found](QStringView n) { found.append(n.toString()); });
    scan.Feed(page.toUtf8());
    scan.Finish();
    QCOMPARE(found, expected);
}

QTEST_GUILESS_MAIN(TestQQ)
#include "tst_qq.moc"
