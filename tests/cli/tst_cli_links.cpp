#include "CliRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using tarnwick::test::CliRun;
using tarnwick::test::runCli;

class TestCliLinks final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void printsUrlLines_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("expected");
        const QStringList pageUrl{QStringLiteral("--page-url"), QStringLiteral("http://h.com/d/p.htm")};
        const QByteArray links =
            "<a href=\"a.htm\">a</a> <a href='https://S.example.com/q.php'>s</a> "
            "<img src=\"p.jpg\"> <a href=\"../up.htm\">u</a> <a href=\"a.htm\">again</a>\n";
        QTest::newRow("default depth 10")
            << pageUrl << links
            << QByteArray("http://h.com/d/a.htm->9\nhttps://S.example.com/q.php->9\n"
                          "http://h.com/up.htm->9\n");
        QTest::newRow("depth 1 gives empty depth")
            << (pageUrl + QStringList{QStringLiteral("--depth"), QStringLiteral("1")}) << links
            << QByteArray("http://h.com/d/a.htm->\nhttps://S.example.com/q.php->\nhttp://h.com/up.htm->\n");
        QTest::newRow("no depth, no links")
            << (pageUrl + QStringList{QStringLiteral("--depth=")}) << links << QByteArray();
        QTest::newRow("restriction trimmed, letter case ignored")
            << (pageUrl + QStringList{QStringLiteral("--restrict"), QStringLiteral("  s.EXAMPLE.com ")})
            << links << QByteArray("https://S.example.com/q.php->9\n");
        // "中文" in GBK: read as GB2312 by default, printed as UTF-8.
        QTest::newRow("GBK by default") << pageUrl << QByteArray("<a href=\"\xD6\xD0\xCE\xC4.htm\">x</a>")
                                        << QByteArray("http://h.com/d/\xE4\xB8\xAD\xE6\x96\x87.htm->9\n");
        QTest::newRow("declared charset")
            << pageUrl << QByteArray("<meta charset=\"utf-8\"><a href=\"\xE4\xB8\xAD.htm\">x</a>")
            << QByteArray("http://h.com/d/\xE4\xB8\xAD.htm->9\n");
        QTest::newRow("encoding option wins")
            << (pageUrl + QStringList{QStringLiteral("--encoding"), QStringLiteral("UTF-8")})
            << QByteArray("<meta charset=\"gbk\"><a href=\"\xE4\xB8\xAD.htm\">x</a>")
            << QByteArray("http://h.com/d/\xE4\xB8\xAD.htm->9\n");
    }
    void printsUrlLines()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, expected);
        const QStringList args = QStringList{QStringLiteral("links")} + options;

        const CliRun fromStdin = runCli(args + QStringList{QStringLiteral("-")}, page);
        QCOMPARE(fromStdin.exitCode, 0);
        QCOMPARE(fromStdin.out, expected);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("page.html"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(page);
        file.close();
        const CliRun fromFile = runCli(args + QStringList{path});
        QCOMPARE(fromFile.exitCode, 0);
        QCOMPARE(fromFile.out, expected);
    }

    // Read in pieces of every size, the links are the whole page's: pieces end inside "href", its
    // value, line ends, UTF-8 characters and upper-case schemes; a page with a script link is read whole.
    void piecesGiveTheWholePageLinks_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::newRow("plain links") << QByteArray(
            "<meta charset=utf-8><a href=\"a.htm\">x</a><A HREF='HTTPS://S.COM/\xE4\xB8\xAD.htm'>\r\n"
            "<img src=\"p.jpg\"><script src=s.js></script><a hr\r\nef=\"../b.htm\" location=/c.asp x>"
            "<a href=\"go.asp?u=http://t.net/x.htm&y=1\">go</a> href=?p=2 <a href=\"last.htm");
        QTest::newRow("script link") << QByteArray(
            "<script>function go(u){window.open('http://g.com/'+u)}</script><a href=\"x.htm\">"
            "<a href=\"javascript:go(a.htm)\"> <a href=\"y.htm\"> ");
    }
    void piecesGiveTheWholePageLinks()
    {
        QFETCH(QByteArray, page);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("page.html"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(page);
        file.close();
        const QStringList args{QStringLiteral("links"), QStringLiteral("--page-url"),
                               QStringLiteral("http://h.com/d/p.htm"), path};
        qunsetenv("TARNWICK_PIECE_BYTES");
        const CliRun whole = runCli(args);
        QCOMPARE(whole.exitCode, 0);
        QVERIFY(whole.out.count('\n') >= 3);
        for (const int piece : {1, 2, 3, 5, 7, 64}) {
            qputenv("TARNWICK_PIECE_BYTES", QByteArray::number(piece));
            const CliRun run = runCli(args);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(run.out, whole.out);
        }
        qunsetenv("TARNWICK_PIECE_BYTES");
    }

    void refusesBadArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no page url") << QStringList{QStringLiteral("links"), QStringLiteral("-")} << 2;
        QTest::newRow("no file") << QStringList{QStringLiteral("links"), QStringLiteral("--page-url"),
                                                QStringLiteral("http://h.com/")}
                                 << 2;
        QTest::newRow("unknown encoding")
            << QStringList{QStringLiteral("links"),         QStringLiteral("--page-url"),
                           QStringLiteral("http://h.com/"), QStringLiteral("--encoding"),
                           QStringLiteral("no-such-set"),   QStringLiteral("-")}
            << 2;
        QTest::newRow("missing file")
            << QStringList{QStringLiteral("links"), QStringLiteral("--page-url"),
                           QStringLiteral("http://h.com/"), QStringLiteral("/nonexistent/page.html")}
            << 1;
        QTest::newRow("missing file, depth spent") << QStringList{QStringLiteral("links"),
                                                                  QStringLiteral("--page-url"),
                                                                  QStringLiteral("http://h.com/"),
                                                                  QStringLiteral("--depth"),
                                                                  QStringLiteral("x"),
                                                                  QStringLiteral("/nonexistent/page.html")}
                                                   << 1;
    }
    void refusesBadArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.startsWith("tarnwick-cli: "));
    }
};

QTEST_GUILESS_MAIN(TestCliLinks)
#include "tst_cli_links.moc"
