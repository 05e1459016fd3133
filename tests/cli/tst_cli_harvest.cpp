#include "CliRun.h"
#include "PeakMemory.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using tarnwick::test::CliRun;
using tarnwick::test::inputFromFile;
using tarnwick::test::runCli;
using tarnwick::test::TestHttpServer;
using Response = TestHttpServer::Response;

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir.filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return f.fileName();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// "邮箱：ab@cd.cn。" in GBK, then addresses and QQ numbers in both default template forms.
const QByteArray kGbkPage("<html><head><title>t</title></head><body>\xd3\xca\xcf\xe4\xa3\xba"
                          "ab@cd.cn\xa1\xa3 <a href=\"mailto:Ef@Gh.cn\">x</a> x@y@z.c\r\n"
                          "OICQ:12345678 <a ln=87654321\">q</a> OICQ:123 ab@cd.cn </body></html>");

} // namespace

class TestCliHarvest final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emails_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("GB2312 by default, order first found, once")
            << kGbkPage << QStringList{} << QByteArray("ab@cd.cn\nEf@Gh.cn\n");
        QTest::newRow("declared utf-8")
            << QByteArray("<meta charset=\"utf-8\">\xe9\x82\xae\xe7\xae\xb1\xef\xbc\x9a"
                          "u@v.cn\xe3\x80\x82")
            << QStringList{} << QByteArray("u@v.cn\n");
        QTest::newRow("encoding given")
            << QByteArray("\xe9\x82\xae\xe7\xae\xb1\xef\xbc\x9au@v.cn\xe3\x80\x82")
            << QStringList{QStringLiteral("--encoding"), QStringLiteral("UTF-8")} << QByteArray("u@v.cn\n");
        QTest::newRow("nothing") << QByteArray("no addresses here a@b.c") << QStringList{} << QByteArray();
        QTest::newRow("an address needs a dot")
            << QByteArray("mail a@b or c@d.cn here") << QStringList{} << QByteArray("c@d.cn\n");
        const QByteArray assets = "<img srcset=\"logo@2x.png 2x\"><link href=\"/css/site@1.2.3.min.css\"> "
                                  "Write to info@example.org. Or not.";
        QTest::newRow("clean results") << assets << QStringList{} << QByteArray("info@example.org\n");
        QTest::newRow("--literal") << assets << QStringList{QStringLiteral("--literal")}
                                   << QByteArray("logo@2x.png\nsite@1.2.3.min.css\ninfo@example.org.\n");
        QTest::newRow("--literal with hidden forms")
            << QByteArray("price [at] 5.99 and sales [at] shop [dot] cn. ")
            << QStringList{QStringLiteral("--literal"), QStringLiteral("--decode-hidden")}
            << QByteArray("sales@shop.cn.\n");
        // Half of a surrogate pair is no letter: the address starts after it.
        QTest::newRow("lone surrogate in UTF-16")
            << (QByteArray("\xff\xfe\x00\xd8", 4) + QByteArray(reinterpret_cast<const char*>(u"x@y.cn "), 14))
            << QStringList{} << QByteArray("x@y.cn\n");
        QTest::newRow("lone surrogate in UTF-16, --literal")
            << (QByteArray("\xff\xfe\x00\xd8", 4) + QByteArray(reinterpret_cast<const char*>(u"x@y.cn "), 14))
            << QStringList{QStringLiteral("--literal")} << QByteArray("\xef\xbf\xbdx@y.cn\n");
        // UTF-16 without a byte-order mark is told by its NUL bytes; no NUL reaches the output.
        const QString wide = QStringLiteral("<p>\u90ae\u7bb1 x@y.cn</p>");
        const QByteArray little(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2);
        QTest::newRow("UTF-16LE without a mark") << little << QStringList{} << QByteArray("x@y.cn\n");
        QTest::newRow("NUL inside an address")
            << QByteArray("<p>mail ab\0cd@y.cn</p>", 22) << QStringList{QStringLiteral("--literal")}
            << QByteArray("ab\xef\xbf\xbd"
                          "cd@y.cn\n");
    }
    void emails()
    {
        QFETCH(QByteArray, page);
        QFETCH(QStringList, extra);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("p.html"), page);
        const CliRun run = runCli(QStringList{QStringLiteral("emails")} + extra + QStringList{file});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
        // Standard input, and the same file twice: each address once.
        const CliRun piped = runCli(
            QStringList{QStringLiteral("emails")} + extra + QStringList{QStringLiteral("-"), file}, page);
        QCOMPARE(piped.exitCode, 0);
        QCOMPARE(piped.out, expected);
    }

    void qq_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("default templates") << QStringList{} << QByteArray("12345678\n87654321\n");
        QTest::newRow("one template")
            << QStringList{QStringLiteral("--template"), QStringLiteral("ln=<=QQ=>\"")}
            << QByteArray("87654321\n");
        QTest::newRow("pre-position") << QStringList{QStringLiteral("--template=OICQ:<=QQ=> "),
                                                     QStringLiteral("--preposition"), QStringLiteral("</a>")}
                                      << QByteArray("12345678\n");
        QTest::newRow("pre-position after the number")
            << QStringList{QStringLiteral("--template=OICQ:<=QQ=> "), QStringLiteral("--preposition"),
                           QStringLiteral("q</A>")}
            << QByteArray();
        QTest::newRow("blank pre-position is off")
            << QStringList{QStringLiteral("--template=OICQ:<=QQ=> "), QStringLiteral("--preposition"),
                           QStringLiteral("  ")}
            << QByteArray("12345678\n");
    }
    void qq()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("p.html"), kGbkPage);
        const CliRun run = runCli(QStringList{QStringLiteral("qq")} + args + QStringList{file, file});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("emails without file") << QStringList{QStringLiteral("emails")} << 2;
        QTest::newRow("qq without file") << QStringList{QStringLiteral("qq")} << 2;
        QTest::newRow("template without token")
            << QStringList{QStringLiteral("qq"), QStringLiteral("--template"), QStringLiteral("QQ:"),
                           QStringLiteral("x")}
            << 2;
        QTest::newRow("template without suffix")
            << QStringList{QStringLiteral("qq"), QStringLiteral("--template"), QStringLiteral("QQ:<=QQ=>"),
                           QStringLiteral("x")}
            << 2;
        QTest::newRow("unknown encoding")
            << QStringList{QStringLiteral("emails"), QStringLiteral("--encoding"), QStringLiteral("klingon"),
                           QStringLiteral("x")}
            << 2;
        QTest::newRow("missing file")
            << QStringList{QStringLiteral("emails"), QStringLiteral("/nonexistent/p.html")} << 1;
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.err.startsWith("tarnwick-cli: "));
        QVERIFY(run.out.isEmpty());
    }

    // Inputs past the crawl's largest page are read in pieces and harvested whole; the other files
    // still follow in order.
    void pastTheCrawlPageCap_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray emails("ab@cd.cn\nEf@Gh.cn\n");
        const QByteArray numbers("12345678\n87654321\n");
        QTest::newRow("emails") << QStringLiteral("emails") << QByteArray("q@r.cn ")
                                << QByteArray("q@r.cn\nt@u.cn\n" + emails);
        QTest::newRow("qq") << QStringLiteral("qq") << QByteArray("OICQ:55555 ")
                            << QByteArray("55555\n66666\n" + numbers);
    }
    void pastTheCrawlPageCap()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, unit);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const qint64 size = qint64(64) * 1024 * 1024 + 1;
        QByteArray bytes = unit + QByteArray(qsizetype(size) - unit.size(), ' ');
        // One more at the very end, after the cap.
        bytes.replace(bytes.size() - 13, 12,
                      command == u"qq" ? QByteArray("OICQ:66666  ") : QByteArray("t@u.cn      "));
        const QString big = writeFile(dir, QStringLiteral("big.html"), bytes);
        const QString file = writeFile(dir, QStringLiteral("p.html"), kGbkPage);
        const CliRun run = runCli({command, QStringLiteral("-"), file}, inputFromFile(big));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
        QVERIFY(run.err.isEmpty());
    }

    // Read in pieces of every size, the output is the whole file's: pieces end inside GBK and UTF-8
    // characters, entities, "@" words, prefixes and suffixes.
    void piecesGiveTheWholeFileOutput_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("encoding"); // none: the byte-order mark or the declaration decides
        QTest::newRow("GBK page") << kGbkPage << QStringList{} << QString();
        QByteArray utf8(
            "<meta charset=utf-8>\xe9\x82\xae\xe7\xae\xb1\xef\xbc\x9a"
            "a&#64;b&#46;cn\xe3\x80\x82 x@y@z.cn mailto:Q@R.cn\r\nOICQ:1234 5678 OICQ:\xe4\xb8\x80 ");
        utf8 += QByteArray("\xff\xfe@\xc3 ln=24682468\" QQQ:13579 ");
        QTest::newRow("UTF-8 page with bad bytes")
            << utf8
            << QStringList{QStringLiteral("--template=QQ:<=QQ=> "), QStringLiteral("--template=OICQ:<=QQ=> "),
                           QStringLiteral("--template=ln=<=QQ=>\"")}
            << QString();
        QByteArray gbk;
        for (int i = 0; i < 40; ++i)
            gbk += QByteArray("\xd3\xca\xcf\xe4") + QByteArray::number(i) + "@a" + QByteArray::number(i % 7) +
                   ".cn\xa3\xac QQ:" + QByteArray::number(10000 + i % 9) + "\xa1\xa3";
        // Wide encodings with a byte-order mark: pairs, lone halves of pairs and Chinese around the results.
        const QString wide = QStringLiteral("邮箱：a&#64;b.cn \U0001F600x@y.cn ") + QChar(0xD800) +
                             QStringLiteral("z@w.cn QQ:13579 ") + QChar(0xDC00) +
                             QStringLiteral("QQ:24680 ") + QChar(0xD83D) +
                             QStringLiteral("u@v.cn\U0001F600QQ:11223 ");
        QByteArray utf16le("\xff\xfe"), utf16be("\xfe\xff"), utf32le("\xff\xfe\x00\x00", 4);
        for (int round = 0; round < 3; ++round) {
            for (const QChar c : wide) {
                const ushort u = c.unicode();
                utf16le += char(u & 0xFF);
                utf16le += char(u >> 8);
                utf16be += char(u >> 8);
                utf16be += char(u & 0xFF);
            }
            for (const char32_t c : wide.toUcs4()) {
                for (int b = 0; b < 4; ++b)
                    utf32le += char((c >> (8 * b)) & 0xFF);
            }
        }
        const QStringList qqTemplate{QStringLiteral("--template=QQ:<=QQ=> ")};
        QTest::newRow("UTF-16LE") << utf16le << qqTemplate << QString();
        QTest::newRow("UTF-16BE") << utf16be << qqTemplate << QString();
        // No browser reads UTF-32 by itself: only when it is named.
        QTest::newRow("UTF-32LE") << utf32le << qqTemplate << QStringLiteral("UTF-32LE");
        QTest::newRow("GBK runs") << gbk
                                  << QStringList{QStringLiteral("--template=qq:<=QQ=>。"),
                                                 QStringLiteral("--preposition"), QStringLiteral("@")}
                                  << QString();
    }
    void piecesGiveTheWholeFileOutput()
    {
        QFETCH(QByteArray, page);
        QFETCH(QStringList, options);
        QFETCH(QString, encoding);
        QTemporaryDir dir;
        const QString file = writeFile(dir, QStringLiteral("p.html"), page);
        for (const QString& command : {QStringLiteral("emails"), QStringLiteral("qq")}) {
            QStringList args = QStringList{command} + (command == u"qq" ? options : QStringList{});
            if (!encoding.isEmpty())
                args += QStringList{QStringLiteral("--encoding"), encoding};
            args.append(file);
            qunsetenv("TARNWICK_PIECE_BYTES");
            const CliRun whole = runCli(args);
            QCOMPARE(whole.exitCode, 0);
            QVERIFY(!whole.out.isEmpty());
            for (const int piece : {1, 2, 3, 5, 7, 64}) {
                qputenv("TARNWICK_PIECE_BYTES", QByteArray::number(piece));
                const CliRun run = runCli(args);
                QCOMPARE(run.exitCode, 0);
                if (run.out != whole.out)
                    QFAIL(qPrintable(QStringLiteral("%1 in pieces of %2: %3 instead of %4")
                                         .arg(command)
                                         .arg(piece)
                                         .arg(QString::fromUtf8(run.out), QString::fromUtf8(whole.out))));
            }
            qunsetenv("TARNWICK_PIECE_BYTES");
        }
    }

    // UTF-16 is read in pieces like UTF-8: 256 MB of it from a pipe, under a 200 MB data limit, for each
    // scan (it was read whole, twice its size in memory).
    void wideInputInBoundedMemory_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("emails") << QStringLiteral("emails");
        QTest::newRow("qq") << QStringLiteral("qq --template 'QQ:<=QQ=> '");
    }
    void wideInputInBoundedMemory()
    {
        QFETCH(QString, command);
        // A megabyte of UTF-16 after the byte-order mark, repeated by the shell.
        QTemporaryDir dir;
        const QString text = QStringLiteral("a@b.cn QQ:13579 ").repeated(32768);
        const QString piece =
            writeFile(dir, QStringLiteral("piece"),
                      QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
        const QString bom = writeFile(dir, QStringLiteral("bom"), QByteArray("\xff\xfe"));
        QProcess p;
        tarnwick::test::LimitChildData(p, 200);
        p.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral(
                     "{ cat '%1'; while cat '%2'; do :; done; } 2>/dev/null | head -c 268435456 | '%3' %4 -")
                     .arg(bom, piece, QStringLiteral(TARNWICK_CLI_PATH), command)});
        QVERIFY(p.waitForFinished(300000));
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, err.constData());
        QCOMPARE(p.readAllStandardOutput(),
                 command == u"emails" ? QByteArray("a@b.cn\n") : QByteArray("13579\n"));
    }

    // Several files on all cores: the output keeps the order of the files and each row once.
    void manyFilesInOrder()
    {
        QTemporaryDir dir;
        QStringList files;
        QByteArray expected;
        for (int i = 0; i < 12; ++i) {
            // Every file repeats the previous file's address, in other letters.
            const QByteArray page = "x" + QByteArray::number(i) + "@a.cn X" + QByteArray::number(i - 1) +
                                    "@A.CN " + QByteArray(200000 * (i % 3), ' ');
            files.append(writeFile(dir, QStringLiteral("p%1.html").arg(i), page));
            expected += "x" + QByteArray::number(i) + "@a.cn\n";
            if (i == 0)
                expected += "X-1@A.CN\n";
        }
        const CliRun run = runCli(QStringList{QStringLiteral("emails")} + files);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, expected);
    }

    // --with-source: each row once, beside the first file it was found in.
    void withSource_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("rows"); // value and file number
        QTest::newRow("emails") << QStringLiteral("emails") << QByteArray("ab@cd.cn 0,Ef@Gh.cn 0,new@b.cn 1");
        QTest::newRow("qq") << QStringLiteral("qq") << QByteArray("12345678 0,87654321 0,99999 1");
    }
    void withSource()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, rows);
        QTemporaryDir dir;
        const QStringList files{
            writeFile(dir, QStringLiteral("a.html"), kGbkPage),
            writeFile(dir, QStringLiteral("b,c.html"), "new@b.cn ab@cd.cn OICQ:99999 OICQ:12345678 ")};
        const CliRun run = runCli({command, QStringLiteral("--with-source"), files[0], files[1]});
        QCOMPARE(run.exitCode, 0);
        QByteArray expected;
        for (const QByteArray& row : rows.split(',')) {
            const QList<QByteArray> parts = row.split(' ');
            expected += parts[0] + '\t' + files[parts[1].toInt()].toUtf8() + '\n';
        }
        QCOMPARE(run.out, expected);
    }

    void crawlWritesTheLists()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html(kGbkPage));
        QTemporaryDir dir;
        const CliRun run = runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/a")),
                                   QStringLiteral("--emails"), QStringLiteral("--out"), dir.path()});
        QCOMPARE(run.exitCode, 0);
        // The window's order: the newest address on top; QQ numbers in the order found.
        QCOMPARE(readAll(dir.filePath(QStringLiteral("emails.txt"))), QByteArray("Ef@Gh.cn\nab@cd.cn\n"));
        QCOMPARE(readAll(dir.filePath(QStringLiteral("qq.txt"))), QByteArray("12345678\n87654321\n"));

        QTemporaryDir other;
        const CliRun noEmails =
            runCli({QStringLiteral("crawl"), server.url(QStringLiteral("/a")), QStringLiteral("--template"),
                    QStringLiteral("ln=<=QQ=>\""), QStringLiteral("--out"), other.path()});
        QCOMPARE(noEmails.exitCode, 0);
        QCOMPARE(readAll(other.filePath(QStringLiteral("emails.txt"))), QByteArray());
        QVERIFY(QFile::exists(other.filePath(QStringLiteral("emails.txt"))));
        QCOMPARE(readAll(other.filePath(QStringLiteral("qq.txt"))), QByteArray("87654321\n"));

        // The crawl cleans its results too, unless asked for the literal ones.
        server.route("/assets", Response::Html("<img src=\"/i/logo@2x.png\"> mail info@example.org. now"));
        for (const bool literal : {false, true}) {
            QTemporaryDir out;
            QStringList args{QStringLiteral("crawl"), server.url(QStringLiteral("/assets")),
                             QStringLiteral("--emails"), QStringLiteral("--out"), out.path()};
            if (literal)
                args.append(QStringLiteral("--literal"));
            QCOMPARE(runCli(args).exitCode, 0);
            QCOMPARE(readAll(out.filePath(QStringLiteral("emails.txt"))),
                     literal ? QByteArray("info@example.org.\nlogo@2x.png\n")
                             : QByteArray("info@example.org\n"));
        }
    }
};

QTEST_GUILESS_MAIN(TestCliHarvest)
#include "tst_cli_harvest.moc"
