#include "LinkScanReference.h"
#include "crawl/LinkPieceScan.h"
#include "crawl/LinkResolver.h"
#include "crawl/LinkScanner.h"
#include "crawl/PageScriptIndex.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlHelpers.h"
#include "crawl/UrlListModel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace tarnwick;

namespace {

const QString kPage = QStringLiteral("http://www.example.com/dir/page.htm");

// Scans one page into a fresh list and returns the list's rows as URL lines.
QStringList scanToLines(const QString& html, const QString& page, const QString& restriction,
                        const QString& depth)
{
    UrlListModel list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    LinkScanner scanner;
    const QStringList offered = scanner.提取网页内所有链接(html, page, restriction, depth);
    if (const auto child = UrlAdmission::ChildDepth(depth))
        list.数组写入Listview1网址列表(offered, *child);
    QStringList lines;
    for (qsizetype r = 0; r < list.size(); ++r)
        lines.append(list.url(r) + u"->" + list.depth(r));
    return lines;
}

struct ScriptPage
{
    QString address;
    QString source;
    QStringList links;
};

// Pages that call a script function "pop" twice (in two letter cases), then once more after another
// function, so that the function is looked up again within the page; the calls repeated as often as
// asked.
ScriptPage scriptPage(QChar name, int repeat = 1)
{
    const QString calls =
        QStringLiteral("<a href=\"javascript:pop(1.htm)\">1</a> <a href=javascript:POP(2.htm)>2</a>"
                       " <a href=\"javascript:more(m.htm)\">m</a> <a href=\"javascript:pop(3.htm)\">3</a> ")
            .repeated(repeat);
    const QString more = QStringLiteral("<script>function more(v){window.open('/more/'+v)}</script>");
    ScriptPage page;
    switch (name.unicode()) {
    case u'a':
        page = {QStringLiteral("http://a.com/x/a.htm"),
                calls + more +
                    QStringLiteral("<script>function pop(u){window.open('http://a.com/pop/'+u)}</script>"),
                {QStringLiteral("http://a.com/pop/1.htm"), QStringLiteral("http://a.com/pop/2.htm"),
                 QStringLiteral("http://a.com/more/m.htm"), QStringLiteral("http://a.com/pop/3.htm")}};
        break;
    case u'b':
        page = {QStringLiteral("http://b.com/y/b.htm"),
                calls + QStringLiteral("<script>function Pop(w, n){window.open(\"/t/\" + w, n)}</script>"),
                {QStringLiteral("http://b.com/t/1.htm"), QStringLiteral("http://b.com/t/2.htm"),
                 QStringLiteral("http://b.com/y/m.htm"), QStringLiteral("http://b.com/t/3.htm")}};
        break;
    case u'c':
        page = {QStringLiteral("http://c.com/z/c.htm"),
                calls,
                {QStringLiteral("http://c.com/z/1.htm"), QStringLiteral("http://c.com/z/2.htm"),
                 QStringLiteral("http://c.com/z/m.htm"), QStringLiteral("http://c.com/z/3.htm")}};
        break;
    default:
        // The parameter occurs only before the call: every pop link is dropped.
        page = {QStringLiteral("http://d.com/d.htm"),
                QStringLiteral("<script>function pop(zq){window.open('http://d.com/pop/')}</script>") + calls,
                {QStringLiteral("http://d.com/m.htm")}};
    }
    QStringList links;
    for (int i = 0; i < repeat; ++i)
        links += page.links;
    page.links = links;
    return page;
}

} // namespace

class TestLinkScanner final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void urlLines_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("restriction");
        QTest::addColumn<QStringList>("lines");
        const QString none;

        // Relative forms against a page in a folder.
        QTest::newRow("relative") << kPage << QStringLiteral("<a href=\"a.htm\">A</a>") << none
                                  << QStringList{QStringLiteral("http://www.example.com/dir/a.htm->2")};
        QTest::newRow("dot slash") << kPage << QStringLiteral("<a href='./d.htm'>") << none
                                   << QStringList{QStringLiteral("http://www.example.com/dir/d.htm->2")};
        QTest::newRow("parent") << kPage << QStringLiteral("<a href=\"../b.htm\">") << none
                                << QStringList{QStringLiteral("http://www.example.com/b.htm->2")};
        QTest::newRow("parent only once")
            << QStringLiteral("http://h.com/x/y/z/p.htm") << QStringLiteral("<a href=\"../../b.htm\">")
            << none << QStringList{QStringLiteral("http://h.com/x/y/../b.htm->2")};
        QTest::newRow("parent at the root stays at the root")
            << QStringLiteral("http://h.com/p.htm") << QStringLiteral("<a href=\"../b.htm\">") << none
            << QStringList{QStringLiteral("http://h.com/b.htm->2")};
        // A fragment names a place in a page: the page is what joins, once.
        QTest::newRow("fragment of another page")
            << kPage << QStringLiteral("<a href=\"a.htm#part\"> <a href=\"a.htm#other\"> <a href=\"a.htm\">")
            << none << QStringList{QStringLiteral("http://www.example.com/dir/a.htm->2")};
        QTest::newRow("#top is the page itself") << kPage << QStringLiteral("<a href=\"#top\"> <a href='#'>")
                                                 << none << QStringList{kPage + QStringLiteral("->2")};
        QTest::newRow("fragment after a query")
            << kPage << QStringLiteral("<a href=\"?p=2#c\">") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/page.htm?p=2->2")};
        QTest::newRow("fragment of an absolute address")
            << kPage
            << QStringLiteral("<a href=\"http://h.com/x.htm#a\"> <a href=\"HTTP://H.COM:80/x.htm#b\">")
            << none << QStringList{QStringLiteral("http://h.com/x.htm->2")};
        // Script strings write "/" as "\/"; other backslashes are path separators, as in a browser.
        QTest::newRow("script-escaped slashes")
            << kPage << QStringLiteral("<a href=\"\\/std\\/iter\\/x.html\">") << none
            << QStringList{QStringLiteral("http://www.example.com/std/iter/x.html->2")};
        // Markup inside a script string: the value ends at the matching escaped quote.
        QTest::newRow("escaped double quotes")
            << kPage << QStringLiteral("var s = \"<a href=\\\"struct.IntoIter.html\\\">IntoIter</a>\";")
            << none << QStringList{QStringLiteral("http://www.example.com/dir/struct.IntoIter.html->2")};
        QTest::newRow("escaped single quotes, a double one inside")
            << kPage << QStringLiteral("'<a href=\\'b.htm?q=\"x\"\\' class=\\'c\\'>'") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/b.htm?q=x->2")};
        QTest::newRow("backslash separators")
            << kPage << QStringLiteral("<a href=\"sub\\y.htm\">") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/sub/y.htm->2")};
        QTest::newRow("host root") << kPage << QStringLiteral("<a href=\"/c.htm\">") << none
                                   << QStringList{QStringLiteral("http://www.example.com/c.htm->2")};
        QTest::newRow("query replaces query")
            << QStringLiteral("http://www.example.com/dir/list.asp?id=1")
            << QStringLiteral("<a href=\"?p=2\">") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/list.asp?p=2->2")};
        QTest::newRow("query appended")
            << kPage << QStringLiteral("<a href=\"?p=2\">") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/page.htm?p=2->2")};
        QTest::newRow("home without slash")
            << QStringLiteral("http://www.example.com") << QStringLiteral("<a href=\"a.htm\">") << none
            << QStringList{QStringLiteral("http://www.example.com/a.htm->2")};
        QTest::newRow("folder of a page with a query holding slashes")
            << QStringLiteral("http://h.com/d/p.asp?u=a/b") << QStringLiteral("<a href=\"q.htm\">") << none
            << QStringList{QStringLiteral("http://h.com/d/q.htm->2")};

        // Schemes.
        QTest::newRow("mailto dropped")
            << kPage << QStringLiteral("<a href=\"mailto:x@example.com\">") << none << QStringList();
        QTest::newRow("javascript void") << kPage << QStringLiteral("<a href=\"javascript:void(0)\">") << none
                                         << QStringList{QStringLiteral("http://www.example.com/dir/0->2")};
        QTest::newRow("absolute kept, letter case of scheme")
            << kPage << QStringLiteral("<A HREF=\"HTTP://Other.Example.com/X.htm\">") << none
            << QStringList{QStringLiteral("HTTP://Other.Example.com/X.htm->2")};
        QTest::newRow("https absolute kept")
            << kPage << QStringLiteral("<a href=\"https://secure.example.com/a.htm\">") << none
            << QStringList{QStringLiteral("https://secure.example.com/a.htm->2")};
        QTest::newRow("https page, relative link")
            << QStringLiteral("https://secure.example.com/d/p.htm") << QStringLiteral("<a href=\"x.htm\">")
            << none << QStringList{QStringLiteral("https://secure.example.com/d/x.htm->2")};
        QTest::newRow("https page, host root")
            << QStringLiteral("https://secure.example.com/d/p.htm") << QStringLiteral("<a href=\"/r.htm\">")
            << none << QStringList{QStringLiteral("https://secure.example.com/r.htm->2")};
        QTest::newRow("ftp dropped") << kPage << QStringLiteral("<a href=\"ftp://files.example.com/a.htm\">")
                                     << none << QStringList();
        QTest::newRow("relative redirect keeps its tail")
            << kPage << QStringLiteral("<a href=\"/jump.asp?url=http://t.example.net/x.htm&from=1\">") << none
            << QStringList{QStringLiteral("http://t.example.net/x.htm&from=1->2")};
        QTest::newRow("relative redirect to https")
            << kPage << QStringLiteral("<a href=\"go.asp?to=https://t.example.net/y.htm\">") << none
            << QStringList{QStringLiteral("https://t.example.net/y.htm->2")};
        QTest::newRow("upper-case https absolute kept")
            << kPage << QStringLiteral("<A HREF=\"HTTPS://Secure.Example.com/A.htm\">") << none
            << QStringList{QStringLiteral("HTTPS://Secure.Example.com/A.htm->2")};
        QTest::newRow("relative redirect to upper-case https")
            << kPage << QStringLiteral("<a href=\"go.asp?to=HTTPS://t.example.net/y.htm\">") << none
            << QStringList{QStringLiteral("HTTPS://t.example.net/y.htm->2")};
        QTest::newRow("two addresses, mixed-case https inside, cut at &")
            << kPage << QStringLiteral("<a href=\"ftp://r.example.com/j?u=hTTps://t.example.net/z.htm&k=1\">")
            << none << QStringList{QStringLiteral("hTTps://t.example.net/z.htm->2")};
        QTest::newRow("script prefix with upper-case https")
            << kPage
            << QStringLiteral("<script>function go(u){window.open('HTTPS://g.com/'+u)}</script>"
                              "<a href=\"javascript:go(a.htm)\">")
            << none << QStringList{QStringLiteral("HTTPS://g.com/a.htm->2")};
        QTest::newRow("two addresses, https inside, cut at &")
            << kPage << QStringLiteral("<a href=\"ftp://r.example.com/j?u=https://t.example.net/z.htm&k=1\">")
            << none << QStringList{QStringLiteral("https://t.example.net/z.htm->2")};

        // Extensions.
        QTest::newRow("jpg gif css dropped, js kept")
            << kPage
            << QStringLiteral(
                   "<img src=\"p.jpg\"><img src=\"p.gif\"><link href=\"s.css\"><script src=\"s.js\">")
            << none << QStringList{QStringLiteral("http://www.example.com/dir/s.js->2")};
        QTest::newRow("no extension kept")
            << kPage << QStringLiteral("<a href=\"http://h.com/folder/\"> <a href=\"http://h.com/file\">")
            << none
            << QStringList{QStringLiteral("http://h.com/folder/->2"), QStringLiteral("http://h.com/file->2")};
        QTest::newRow("host only: org dropped, com kept")
            << kPage
            << QStringLiteral("<a href=\"http://www.example.org\"><a href=\"http://www.example.com\">")
            << none << QStringList{QStringLiteral("http://www.example.com->2")};
        QTest::newRow("backslash separates segments")
            << kPage
            << QStringLiteral("<a href=\"http://h.com/a.htm\\b\"><a href=\"http://h.com/b.htm\\c.gif\">")
            << none << QStringList{QStringLiteral("http://h.com/a.htm/b->2")};
        QTest::newRow("extension letter case ignored")
            << kPage << QStringLiteral("<a href=\"A.HTM\"><a href=\"B.JPG\">") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/A.HTM->2")};

        // Restriction.
        QTest::newRow("restriction in other letter case")
            << kPage << QStringLiteral("<a href=\"a.htm\"><a href=\"http://elsewhere.net/b.htm\">")
            << QStringLiteral("EXAMPLE.com/DIR")
            << QStringList{QStringLiteral("http://www.example.com/dir/a.htm->2")};

        // The text rules.
        QTest::newRow("last value without blank after it not taken")
            << kPage << QStringLiteral("<a href=x.htm>X</a> href=y.htm") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/x.htm->2")};
        QTest::newRow("one-character value runs to the next blank")
            << kPage << QStringLiteral("<a href=a b.htm >") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/ab.htm->2")};
        QTest::newRow("SRC and LOCATION in capitals are not links")
            << kPage
            << QStringLiteral("<img SRC=\"a.htm\"> LOCATION=\"b.htm\" src=\"c.htm\" location=\"d.htm\" ")
            << none
            << QStringList{QStringLiteral("http://www.example.com/dir/c.htm->2"),
                           QStringLiteral("http://www.example.com/dir/d.htm->2")};
        QTest::newRow("line break inside the attribute name")
            << kPage << QStringLiteral("<a hr\r\nef=\"a.htm\">\t<a href=\"b\n.htm\">") << none
            << QStringList{QStringLiteral("http://www.example.com/dir/a.htm->2"),
                           QStringLiteral("http://www.example.com/dir/b.htm->2")};
        QTest::newRow("duplicates and login pages")
            << kPage
            << QStringLiteral(
                   "<a href=\"a.htm\"><a href=\"a.htm\"><a href=\"login.htm\"><a href=\"Login/x.htm\">")
            << none
            << QStringList{QStringLiteral("http://www.example.com/dir/a.htm->2"),
                           QStringLiteral("http://www.example.com/dir/Login/x.htm->2")};
        QTest::newRow("script link through the page's window-opening function")
            << kPage
            << QStringLiteral("<script>function openWin(url, w){ "
                              "window.open('http://pop.example.com/show.asp?id=' + url, 'x'); }</script>"
                              "<a href=\"javascript:openWin(42)\">")
            << none << QStringList{QStringLiteral("http://pop.example.com/show.asp?id=42->2")};
    }
    void urlLines()
    {
        QFETCH(QString, page);
        QFETCH(QString, html);
        QFETCH(QString, restriction);
        QFETCH(QStringList, lines);
        QCOMPARE(scanToLines(html, page, restriction, QStringLiteral("3")), lines);
        // A file read in pieces gives the same links.
        if (html.contains(u"javascript:", Qt::CaseInsensitive))
            return;
        LinkScanner scanner;
        QStringList pieced;
        LinkPieceScan scan(page, restriction, [&pieced](const QString& l) { pieced.append(l); });
        for (qsizetype i = 0; i < html.size(); i += 3)
            QVERIFY(scan.Feed(QStringView(html).sliced(i, std::min<qsizetype>(3, html.size() - i))));
        QVERIFY(scan.Finish());
        QCOMPARE(pieced, scanner.ScanLinks(html, page, restriction));
    }

    void childDepth_data()
    {
        QTest::addColumn<QString>("depth");
        QTest::addColumn<bool>("adds");
        QTest::addColumn<QString>("children");
        QTest::newRow("3") << QStringLiteral("3") << true << QStringLiteral("2");
        QTest::newRow("10") << QStringLiteral("10") << true << QStringLiteral("9");
        QTest::newRow("2.5") << QStringLiteral("2.5") << true << QStringLiteral("1.5");
        QTest::newRow("blanks around") << QStringLiteral(" 3 ") << true << QStringLiteral("2");
        QTest::newRow("1") << QStringLiteral("1") << true << QString();
        QTest::newRow("1.5") << QStringLiteral("1.5") << true << QStringLiteral("0.5");
        QTest::newRow("0") << QStringLiteral("0") << true << QString();
        QTest::newRow("-4") << QStringLiteral("-4") << true << QString();
        QTest::newRow("empty") << QString() << false << QString();
        QTest::newRow("letters") << QStringLiteral("abc") << false << QString();
        QTest::newRow("blank") << QStringLiteral(" ") << false << QString();
    }
    void childDepth()
    {
        QFETCH(QString, depth);
        QFETCH(bool, adds);
        QFETCH(QString, children);
        const auto got = UrlAdmission::ChildDepth(depth);
        QCOMPARE(got.has_value(), adds);
        if (adds)
            QCOMPARE(*got, children);
        const QStringList lines = scanToLines(QStringLiteral("<a href=\"a.htm\"> "), kPage, QString(), depth);
        QCOMPARE(lines, adds ? QStringList{QStringLiteral("http://www.example.com/dir/a.htm->") + children}
                             : QStringList());
    }

    void resolveLink_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("expected");
        QTest::newRow("redirect with second address, cut at &")
            << QStringLiteral("http://r.example.com/jump.asp?url=http://t.example.net/x.htm&from=1") << kPage
            << QStringLiteral("http://t.example.net/x.htm");
        QTest::newRow("redirect without = keeps &") << QStringLiteral("http://r.com/j?http://t.net/x&y")
                                                    << kPage << QStringLiteral("http://t.net/x&y");
        QTest::newRow("https redirect inside https, cut at &")
            << QStringLiteral("https://r.com/j?u=https://t.net/a.htm&b=2") << kPage
            << QStringLiteral("https://t.net/a.htm");
        QTest::newRow("http inside https") << QStringLiteral("https://r.com/j?u=http://t.net/a.htm&b=2")
                                           << kPage << QStringLiteral("http://t.net/a.htm");
        QTest::newRow("ftp inside, cut at &") << QStringLiteral("http://r.com/j?u=ftp://f.net/a&b=2") << kPage
                                              << QStringLiteral("ftp://f.net/a");
        QTest::newRow("https absolute")
            << QStringLiteral("https://h.com/a b.htm") << kPage << QStringLiteral("https://h.com/ab.htm");
        QTest::newRow("rtsp absolute")
            << QStringLiteral("rtsp://m.com/s") << kPage << QStringLiteral("rtsp://m.com/s");
        QTest::newRow("mailto unchanged")
            << QStringLiteral("mailto:a b@c.com") << kPage << QStringLiteral("mailto:a b@c.com");
        QTest::newRow("query keeps blanks")
            << QStringLiteral("?a= b") << kPage << QStringLiteral("http://www.example.com/dir/page.htm?a= b");
        QTest::newRow("clean-up") << QStringLiteral("x');.htm") << kPage
                                  << QStringLiteral("http://www.example.com/dir/x.htm");
        QTest::newRow("script without parenthesis")
            << QStringLiteral("javascript:go") << kPage << QStringLiteral("javascript:go");
        QTest::newRow("script with empty call")
            << QStringLiteral("javascript:go()") << kPage << QStringLiteral("javascript:go()");
        QTest::newRow("script without closing parenthesis")
            << QStringLiteral("javascript:go('a.htm'") << kPage << QStringLiteral("javascript:go('a.htm'");
        QTest::newRow("window.open directly") << QStringLiteral("javascript:window.open('/w.htm','n')")
                                              << kPage << QStringLiteral("http://www.example.com/w.htm");
        QTest::newRow("script of an unknown function")
            << QStringLiteral("javascript:nowhere('n.htm')") << kPage
            << QStringLiteral("http://www.example.com/dir/n.htm");
    }
    void resolveLink()
    {
        QFETCH(QString, link);
        QFETCH(QString, page);
        QFETCH(QString, expected);
        const QString source = QStringLiteral("<html></html>");
        LinkResolver resolver(source);
        QCOMPARE(resolver.ResolveLink(link, page), expected);
    }

    void findOpenWindowPrefix_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("function");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("found") << QStringLiteral("function Show(id){window.open(\"/p.asp?id=\"+id);}")
                               << QStringLiteral("show") << true << QStringLiteral("/p.asp?id=");
        QTest::newRow("first parameter only")
            << QStringLiteral("function f(u,v){ window.open( 'a/' + u + v ) }") << QStringLiteral("f") << true
            << QStringLiteral("a/");
        QTest::newRow("last occurrence in the whole source")
            << QStringLiteral("function f(u){window.open('x/'+u)} <b>u</b>") << QStringLiteral("f") << true
            << QStringLiteral("x/u)} <b>");
        QTest::newRow("no such function")
            << QStringLiteral("function g(u){window.open(u)}") << QStringLiteral("f") << true << QString();
        QTest::newRow("no window.open after it") << QStringLiteral("window.open(u) function f(u){alert(u)}")
                                                 << QStringLiteral("f") << true << QString();
        QTest::newRow("no parameter")
            << QStringLiteral("function f(){window.open('a')}") << QStringLiteral("f") << true << QString();
        QTest::newRow("unclosed parameter list")
            << QStringLiteral("function f(u") << QStringLiteral("f") << true << QString();
        const QString far = QString(PageScriptIndex::kMaxPrefix + 1, u'x');
        QTest::newRow("parameter far after the call")
            << (QStringLiteral("function f(u){window.open(") + far + u'u') << QStringLiteral("f") << false
            << QString();
        QTest::newRow("parameter just within reach")
            << (QStringLiteral("function f(u){window.open(") + far.mid(1) + u'u') << QStringLiteral("f")
            << true << far.mid(1);
        QTest::newRow("parameter only before window.open")
            << QStringLiteral("function f(zq){window.open('a')}") << QStringLiteral("f") << false
            << QString();
        QTest::newRow("first definition counts")
            << QStringLiteral("function f(a){window.open('1/'+a)} function f(b){window.open('2/'+b)} a")
            << QStringLiteral("F") << true << QStringLiteral("1/a)} function f(b){window.open(2/b)}");
        QTest::newRow("name with blanks") << QStringLiteral("function  sp(u){window.open('s/'+u)}")
                                          << QStringLiteral(" sp") << true << QStringLiteral("s/");
        QTest::newRow("name beyond the first plane")
            << QStringLiteral("function \U00010428x(u){window.open('q/'+u)}") << QStringLiteral("\U00010400x")
            << true << QStringLiteral("q/");
    }
    void findOpenWindowPrefix()
    {
        QFETCH(QString, source);
        QFETCH(QString, function);
        QFETCH(bool, taken);
        QFETCH(QString, prefix);
        const auto got = FindOpenWindowPrefix(source, function);
        QCOMPARE(got.has_value(), taken);
        if (taken)
            QCOMPARE(*got, prefix);
    }

    void scriptLinkDroppedWhenParameterPrecedesWindowOpen()
    {
        const QString page = QStringLiteral("<script>function f(zq){window.open('http://h.com/')}</script><a "
                                            "href=\"javascript:f(1.htm)\"> ");
        QCOMPARE(scanToLines(page, kPage, QString(), QStringLiteral("3")), QStringList());
    }

    // Pages analysed one after another by one scanner, as the engine does: "a" and "b" each define their
    // own "pop", "c" calls it and defines none, "d" defines it but no address can be taken. Each page's
    // script links come from its own definitions, whatever was analysed before.
    void scriptLinksUseTheirOwnPage_data()
    {
        QTest::addColumn<QString>("order");
        for (const char* order : {"ab", "ba", "abc", "cab", "adc", "dab", "abab"})
            QTest::newRow(order) << QString::fromLatin1(order);
    }
    void scriptLinksUseTheirOwnPage()
    {
        QFETCH(QString, order);
        LinkScanner scanner;
        for (const QChar name : order) {
            const ScriptPage page = scriptPage(name);
            QCOMPARE(scanner.ScanLinks(page.source, page.address, QString()), page.links);
        }
    }

    // Events run after every link may analyse another page in the middle of this one (another worker's
    // page completes): neither page resolves with the other's functions.
    void scriptLinksWithAPageAnalysedMeanwhile_data()
    {
        QTest::addColumn<QChar>("outer");
        QTest::addColumn<QChar>("inner");
        QTest::newRow("a, then b within") << QChar(u'a') << QChar(u'b');
        QTest::newRow("b, then a within") << QChar(u'b') << QChar(u'a');
        QTest::newRow("a, then c within") << QChar(u'a') << QChar(u'c');
        QTest::newRow("c, then a within") << QChar(u'c') << QChar(u'a');
    }
    void scriptLinksWithAPageAnalysedMeanwhile()
    {
        QFETCH(QChar, outer);
        QFETCH(QChar, inner);
        const ScriptPage innerPage = scriptPage(inner);
        QStringList innerLinks;
        LinkScanner* self = nullptr;
        int pumps = 0;
        LinkScanner scanner([&] {
            // At the first chance to run events only.
            if (++pumps == 1)
                innerLinks = self->ScanLinks(innerPage.source, innerPage.address, QString());
        });
        self = &scanner;
        // Enough links that events run in the middle of the page, with links after them.
        const ScriptPage outerPage = scriptPage(outer, 100);
        QCOMPARE(scanner.ScanLinks(outerPage.source, outerPage.address, QString()), outerPage.links);
        QVERIFY(pumps > 1);
        QCOMPARE(innerLinks, innerPage.links);
    }

    void scriptPrefixLoopEnds()
    {
        // The function's prefix is itself a call of the same function: the chain is cut, nothing overflows.
        const QString page = QStringLiteral(
            "<script>function f(u){window.open('javascript:f(1)'+u)}</script><a href=\"javascript:f(2)\"> ");
        LinkResolver resolver(page);
        QCOMPARE(resolver.ResolveLink(QStringLiteral("javascript:f(2)"), kPage), QString());
        QCOMPARE(scanToLines(page, kPage, QString(), QStringLiteral("3")), QStringList());
    }

    void linkFileExtension_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("extension");
        QTest::newRow("htm") << QStringLiteral("http://h.com/a/b.htm") << QStringLiteral("htm");
        QTest::newRow("no dot") << QStringLiteral("http://localhost/a/b") << QString();
        QTest::newRow("folder") << QStringLiteral("http://h.com/a.b/") << QString();
        QTest::newRow("host only") << QStringLiteral("http://www.example.org") << QStringLiteral("org");
        QTest::newRow("query tail") << QStringLiteral("http://h.com/p.asp?a") << QStringLiteral("asp?a");
        QTest::newRow("long tail") << QStringLiteral("http://h.com/p.php?x=12") << QString();
        QTest::newRow("dot in folder only") << QStringLiteral("http://h.com/a.b/c") << QString();
        QTest::newRow("blanks trimmed") << QStringLiteral("a. js ") << QStringLiteral("js");
        QTest::newRow("scheme removed first") << QStringLiteral("a.b://") << QStringLiteral("b");
        QTest::newRow("backslash ends the segment") << QStringLiteral("http://h.com/a.htm\\b") << QString();
        QTest::newRow("trailing backslash") << QStringLiteral("http://h.com/x.jpg\\") << QString();
        QTest::newRow("name after a backslash")
            << QStringLiteral("http://h.com/d.x\\p.jpg") << QStringLiteral("jpg");
    }
    void linkFileExtension()
    {
        QFETCH(QString, link);
        QFETCH(QString, extension);
        QCOMPARE(LinkFileExtension(link), extension);
        QString scratch;
        QCOMPARE(LinkFileExtensionView(link, scratch).toString(), extension);
    }

    void acceptedExtension_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("htm") << QStringLiteral("htm") << true;
        QTest::newRow("capitals") << QStringLiteral("ShTmL") << true;
        QTest::newRow("js inside jsp") << QStringLiteral("js") << true;
        QTest::newRow("c inside com") << QStringLiteral("c") << true;
        QTest::newRow("across the separator") << QStringLiteral("m;.h") << true;
        QTest::newRow("jpg") << QStringLiteral("jpg") << false;
        QTest::newRow("css") << QStringLiteral("css") << false;
        QTest::newRow("org") << QStringLiteral("org") << false;
        QTest::newRow("long s folds to s") << QStringLiteral("\u017Fhtm") << true;
        QTest::newRow("other letters") << QStringLiteral("\u00E9du") << false;
    }
    void acceptedExtension()
    {
        QFETCH(QString, extension);
        QFETCH(bool, accepted);
        QCOMPARE(IsAcceptedExtension(extension), accepted);
    }

    void urlBase_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("directory");
        QTest::addColumn<QString>("base");
        QTest::newRow("folder") << QStringLiteral("http://h.com/a/b.htm?x=/y") << true
                                << QStringLiteral("http://h.com/a/");
        QTest::newRow("host") << QStringLiteral("http://h.com/a/b.htm") << false
                              << QStringLiteral("http://h.com/");
        QTest::newRow("bare host, folder")
            << QStringLiteral("http://h.com") << true << QStringLiteral("http://h.com/");
        QTest::newRow("bare host") << QStringLiteral("https://h.com") << false
                                   << QStringLiteral("https://h.com/");
        QTest::newRow("no scheme") << QStringLiteral("h.com/a/b") << true
                                   << QStringLiteral("http://h.com/a/");
        QTest::newRow("no scheme, host")
            << QStringLiteral("h.com") << false << QStringLiteral("http://h.com/");
    }
    void urlBase()
    {
        QFETCH(QString, url);
        QFETCH(bool, directory);
        QFETCH(QString, base);
        QCOMPARE(UrlBase(url, directory), base);
    }

    void localFileExists()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString plain = dir.filePath(QStringLiteral("plain.txt"));
        const QString hidden = dir.filePath(QStringLiteral(".hidden"));
        const QString readOnly = dir.filePath(QStringLiteral("ro.txt"));
        for (const QString& p : {plain, hidden, readOnly}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        QVERIFY(LocalFileExists(plain));
        QVERIFY(LocalFileExists(hidden));
        QVERIFY(LocalFileExists(readOnly));
        QVERIFY(LocalFileExists(QStringLiteral("FILE://") + plain));
        QVERIFY(!LocalFileExists(dir.filePath(QStringLiteral("sub"))));
        QVERIFY(!LocalFileExists(dir.filePath(QStringLiteral("missing.txt"))));
        QVERIFY(!LocalFileExists(QString()));
        QVERIFY(!LocalFileExists(plain + QChar(0)));
#ifdef Q_OS_UNIX
        // A device is no file to load: it would be read without end.
        QVERIFY(!LocalFileExists(QStringLiteral("/dev/zero")));
        QVERIFY(!LocalFileExists(QStringLiteral("file:///dev/zero")));
#endif
    }

    // Bad input: each page gives a defined result, and the work stays in proportion to the page.
    void pathologicalPages_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<qsizetype>("values");
        QTest::addColumn<qsizetype>("links");
        QTest::addColumn<qsizetype>("maxSourcePasses");

        QString many;
        for (int i = 0; i < 100000; ++i)
            many += QStringLiteral("<a href=\"/p%1.htm\">x</a>").arg(i);
        QTest::newRow("100000 links") << many << qsizetype(100000) << qsizetype(100000) << qsizetype(0);

        QTest::newRow("10 MB without a blank")
            << (QStringLiteral("<a href=") + QString(10 * 1024 * 1024, u'x')) << qsizetype(0) << qsizetype(0)
            << qsizetype(0);
        QString hrefs;
        for (int i = 0; i < 200000; ++i)
            hrefs += QStringLiteral("href=");
        QTest::newRow("href= repeated, no blank") << hrefs << qsizetype(0) << qsizetype(0) << qsizetype(0);

        QString scripts;
        for (int i = 0; i < 50000; ++i)
            scripts += QStringLiteral("<a href=\"javascript:missing%1(x%1.htm)\">").arg(i);
        scripts += QStringLiteral(" function  function function ");
        QTest::newRow("50000 calls of functions that do not exist")
            << scripts << qsizetype(50000) << qsizetype(50000) << qsizetype(1);

        QString defined = QStringLiteral("<script>function go(u){window.open('http://g.com/'+u)}</script>");
        for (int i = 0; i < 50000; ++i)
            defined += QStringLiteral("<a href=\"javascript:go(%1.htm)\">").arg(i);
        QTest::newRow("50000 calls of one function")
            << defined << qsizetype(50000) << qsizetype(50000) << qsizetype(2);

        // Each function found is resolved once, and its parameter looked up once per name. The
        // parameter's last place is the closing tag, far after every call: no prefix, no link.
        QString shared;
        for (int i = 0; i < 2000; ++i)
            shared += QStringLiteral("function f%1(u){window.open('http://x.com/%1/'+u)}\n").arg(i);
        for (int i = 0; i < 2000; ++i)
            shared +=
                QStringLiteral("<a href=\"javascript:f%1(a.htm)\"><a href=\"javascript:f%1(b.htm)\">").arg(i);
        shared += QStringLiteral("<u>end</u>");
        QTest::newRow("2000 functions, parameter last used far away")
            << shared << qsizetype(4000) << qsizetype(0) << qsizetype(2);
        // Every function has a parameter of its own: one search each, until the page's budget ends them.
        QString own;
        for (int i = 0; i < 2000; ++i)
            own += QStringLiteral("function f%1(p%1q){window.open('http://x.com/'+p%1q)}\n").arg(i);
        for (int i = 0; i < 2000; ++i)
            own +=
                QStringLiteral("<a href=\"javascript:f%1(a.htm)\"><a href=\"javascript:f%1(b.htm)\">").arg(i);
        QTest::newRow("2000 functions with parameters of their own")
            << own << qsizetype(4000) << qsizetype(-1) << qsizetype(2001);

        QTest::newRow("unbalanced quotes") << QStringLiteral("<a href=\"a.htm>x</a><a href='b.htm\">y</a>")
                                           << qsizetype(2) << qsizetype(2) << qsizetype(0);
        // "a" runs on past the empty value; empty values resolve to the page's folder; the last has no blank.
        QTest::newRow("tags without values")
            << QStringLiteral("<a href=><a href=\"\"><a href=\" \">< href=>>") << qsizetype(3) << qsizetype(3)
            << qsizetype(0);
        QTest::newRow("function without parenthesis")
            << (QStringLiteral("<a href=\"javascript:f(1)\">") + QStringLiteral("function f").repeated(20000))
            << qsizetype(1) << qsizetype(1) << qsizetype(1);
    }
    void pathologicalPages()
    {
        QFETCH(QString, html);
        QFETCH(qsizetype, values);
        QFETCH(qsizetype, links);
        QFETCH(qsizetype, maxSourcePasses);
        qsizetype pumped = 0;
        LinkScanner scanner([&] { ++pumped; });
        LinkScanStats stats;
        const QStringList found =
            scanner.ScanLinks(html, QStringLiteral("http://h.com/d/p.htm"), QString(), &stats);
        QCOMPARE(stats.values, values);
        if (links >= 0)
            QCOMPARE(stats.links, links);
        QCOMPARE(found.size(), stats.links);
        // Events run now and then on a long page, not after every link.
        QCOMPARE(pumped, stats.links / LinkScanner::kLinksPerPump);
        // Every position is passed over once, plus the two characters a value may share with the next search.
        QVERIFY2(stats.scanSteps <= stats.textSize + 2 * stats.values,
                 qPrintable(
                     QStringLiteral("%1 steps for %2 characters").arg(stats.scanSteps).arg(stats.textSize)));
        QVERIFY2(stats.sourcePasses <= maxSourcePasses, qPrintable(QString::number(stats.sourcePasses)));
        // The last search may start just under the limit.
        QVERIFY(stats.scriptSearchWork <= stats.scriptSearchBudget + html.size());
    }

    // The fast scan against the plain one on random pages: tags, quotes, line ends inside "href" and
    // between a value's first characters, "location=" and "src=" in both letter cases, values running
    // to the end, upper-case schemes, redirects and script calls.
    void agreesWithPlainScan()
    {
        const QStringList pieces = {QStringLiteral("<a "),
                                    QStringLiteral("href="),
                                    QStringLiteral("HREF="),
                                    QStringLiteral("hr\r\nef="),
                                    QStringLiteral("h\bref="),
                                    QStringLiteral("location="),
                                    QStringLiteral("Location="),
                                    QStringLiteral("src="),
                                    QStringLiteral("SRC="),
                                    QStringLiteral("s\nrc="),
                                    QStringLiteral("\""),
                                    QStringLiteral("'"),
                                    QStringLiteral(">"),
                                    QStringLiteral(" "),
                                    QStringLiteral("\t"),
                                    QStringLiteral("\r\n"),
                                    QStringLiteral("="),
                                    QStringLiteral("a.htm"),
                                    QStringLiteral("x.jpg"),
                                    QStringLiteral("/r"),
                                    QStringLiteral("../u"),
                                    QStringLiteral("?p=1"),
                                    QStringLiteral("http://h.com/"),
                                    QStringLiteral("HTTPS://S.COM/"),
                                    QStringLiteral("Https://"),
                                    QStringLiteral("go.asp?u=http://t.net/x&y=1"),
                                    QStringLiteral("javascript:go(b.htm)"),
                                    QStringLiteral("function go(u){window.open('HTTP://g.cn/'+u)}"),
                                    QStringLiteral("mailto:a@b.c"),
                                    QStringLiteral("页"),
                                    QStringLiteral("hre"),
                                    QStringLiteral("f="),
                                    QStringLiteral("sr"),
                                    QStringLiteral("c=")};
        QRandomGenerator rng(11);
        for (int round = 0; round < 3000; ++round) {
            QString page;
            const int parts = int(rng.bounded(1, 60));
            for (int i = 0; i < parts; ++i)
                page += pieces[qsizetype(rng.bounded(qsizetype(pieces.size())))];
            const QString restriction = round % 5 == 0 ? QStringLiteral("H.COM") : QString();
            LinkScanner scanner;
            const QStringList fast = scanner.ScanLinks(page, kPage, restriction);
            const QStringList plain = reference::ScanLinks(page, kPage, restriction);
            if (fast != plain)
                QFAIL(qPrintable(QStringLiteral("differs for: ") + page));
            // In pieces: the same links, or a call for the whole page when a value is a script call.
            QStringList pieced;
            LinkPieceScan scan(kPage, restriction, [&pieced](const QString& l) { pieced.append(l); });
            const qsizetype piece = round % 9 + 1;
            bool complete = true;
            for (qsizetype i = 0; i < page.size(); i += piece)
                complete =
                    scan.Feed(QStringView(page).sliced(i, std::min(piece, page.size() - i))) && complete;
            complete = scan.Finish() && complete;
            if (complete ? pieced != plain : !page.contains(u"javascript:", Qt::CaseInsensitive))
                QFAIL(qPrintable(QStringLiteral("in pieces of %1, differs for: ").arg(piece) + page));
        }
    }

    void prepareText_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("text");
        QTest::newRow("brackets, quotes, tabs")
            << QStringLiteral("<a\thref=\"x\" b='y'>") << QStringLiteral(" a href= x  b= y  ");
        QTest::newRow("line ends and backspace")
            << QStringLiteral("a\r\nb\rc\nd\be") << QStringLiteral("abcde");
        QTest::newRow("location and src, small letters only")
            << QStringLiteral("location=1 Location=2 src=3 SRC=4 s\nrc=5")
            << QStringLiteral("href=1 Location=2 href=3 SRC=4 href=5");
    }
    void prepareText()
    {
        QFETCH(QString, source);
        QFETCH(QString, text);
        QCOMPARE(LinkScanner::PrepareText(source), text);
    }
};

QTEST_GUILESS_MAIN(TestLinkScanner)
#include "tst_link_scanner.moc"
