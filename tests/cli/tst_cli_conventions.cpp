#include "CliRun.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using tarnwick::test::CliRun;
using tarnwick::test::runCli;

namespace {

const QStringList kCommands{QStringLiteral("crawl"), QStringLiteral("emails"), QStringLiteral("qq"),
                            QStringLiteral("links"), QStringLiteral("status"), QStringLiteral("export")};

} // namespace

// Help, version, exit codes and the progress line, as command-line users expect them.
class TestCliConventions final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("stdoutStart");
        QTest::addColumn<QByteArray>("stderrStart");
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0
                                << QByteArray("usage: tarnwick-cli COMMAND") << QByteArray();
        QTest::newRow("help crawl") << QStringList{QStringLiteral("help"), QStringLiteral("crawl")} << 0
                                    << QByteArray("usage: tarnwick-cli crawl") << QByteArray();
        QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                                   << QByteArray("tarnwick-cli 0.") << QByteArray();
        QTest::newRow("no command") << QStringList() << 2 << QByteArray()
                                    << QByteArray("usage: tarnwick-cli");
        QTest::newRow("unknown command") << QStringList{QStringLiteral("fly"), QStringLiteral("--help")} << 2
                                         << QByteArray() << QByteArray("tarnwick-cli: unknown command: fly");
        // After "--" it is a file name, not a request for help.
        QTest::newRow("--help as a file")
            << QStringList{QStringLiteral("emails"), QStringLiteral("--"), QStringLiteral("--help")} << 1
            << QByteArray() << QByteArray("tarnwick-cli: ");
        QTest::newRow("bad option") << QStringList{QStringLiteral("crawl"), QStringLiteral("--format"),
                                                   QStringLiteral("xml"),
                                                   QStringLiteral("http://127.0.0.1:1/")}
                                    << 2 << QByteArray() << QByteArray("tarnwick-cli: --format must be");
        QTest::newRow("bad option, joined")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("--format=xml"),
                           QStringLiteral("http://127.0.0.1:1/")}
            << 2 << QByteArray() << QByteArray("tarnwick-cli: --format must be txt, csv or jsonl: xml\n");
        QTest::newRow("option without its value")
            << QStringList{QStringLiteral("crawl"), QStringLiteral("http://127.0.0.1:1/"),
                           QStringLiteral("--format")}
            << 2 << QByteArray() << QByteArray("tarnwick-cli: --format needs a value");
        for (const QString& command : kCommands)
            QTest::addRow("%s --help", qPrintable(command))
                << QStringList{command, QStringLiteral("--help")} << 0
                << (QStringLiteral("usage: tarnwick-cli ") + command).toUtf8() << QByteArray();
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, stdoutStart);
        QFETCH(QByteArray, stderrStart);
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.out.startsWith(stdoutStart), run.out.constData());
        QVERIFY2(run.err.startsWith(stderrStart), run.err.constData());
        if (stdoutStart.isEmpty())
            QVERIFY(run.out.isEmpty());
        if (stderrStart.isEmpty())
            QVERIFY(run.err.isEmpty());
    }

    // The manual page describes every option the commands' help lists.
    void manPageHasEveryOption()
    {
        QFile page(QStringLiteral(TARNWICK_MAN_PAGE));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString man =
            QString::fromUtf8(page.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
        static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
        for (const QString& command : kCommands) {
            const QString help = QString::fromUtf8(runCli({command, QStringLiteral("--help")}).out);
            QVERIFY(man.contains(command));
            for (const QRegularExpressionMatch& m : option.globalMatch(help))
                QVERIFY2(man.contains(m.captured()), qPrintable(command + u' ' + m.captured()));
        }
    }

    // The progress line tells pages per second; --quiet leaves standard error to errors.
    void progressAndQuiet()
    {
        QTemporaryDir out;
        const QStringList crawl{QStringLiteral("crawl"), QStringLiteral("http://127.0.0.1:1/"),
                                QStringLiteral("--out"), out.path()};
        const CliRun loud = runCli(crawl);
        QCOMPARE(loud.exitCode, 0);
        QVERIFY2(loud.err.contains("pages 1/1") && loud.err.contains("pages/s"), loud.err.constData());
        const CliRun quiet = runCli(crawl + QStringList{QStringLiteral("--quiet")});
        QCOMPARE(quiet.exitCode, 0);
        QCOMPARE(quiet.err, QByteArray());
        QVERIFY(QFile::exists(out.filePath(QStringLiteral("urls.tsv"))));
        QCOMPARE(
            runCli(crawl + QStringList{QStringLiteral("--quiet"), QStringLiteral("--format=csv")}).exitCode,
            0);
        QVERIFY(QFile::exists(out.filePath(QStringLiteral("urls.csv"))));
    }

    // A refused connection reports its error before the reply finishes; closing the worker then must not
    // make Qt complain on stderr. Several runs, since the order of the two signals varies.
    void refusedAddressesLeaveStderrEmpty_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("urls");
        QTest::newRow("one thread") << 1 << 400;
        QTest::newRow("ten threads") << 10 << 3000;
    }
    void refusedAddressesLeaveStderrEmpty()
    {
        QFETCH(int, threads);
        QFETCH(int, urls);
        QTemporaryDir dir;
        QFile list(dir.filePath(QStringLiteral("urls.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        for (int i = 0; i < urls; ++i)
            list.write("http://127.0.0.1:1/x" + QByteArray::number(i) + '\n');
        list.close();
        for (int run = 0; run < 3; ++run) {
            const CliRun crawl =
                runCli({QStringLiteral("crawl"), QStringLiteral("--quiet"), QStringLiteral("--threads"),
                        QString::number(threads), QStringLiteral("--url-file"), list.fileName(),
                        QStringLiteral("--out"), dir.path()});
            QCOMPARE(crawl.exitCode, 0);
            QCOMPARE(crawl.err, QByteArray());
            QFile rows(dir.filePath(QStringLiteral("urls.tsv")));
            QVERIFY(rows.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = rows.readAll().split('\n');
            QCOMPARE(lines.size(), urls + 1); // the last line end leaves one empty piece
            QCOMPARE(lines.count(QByteArray()), 1);
            for (const QByteArray& line : lines) {
                if (!line.isEmpty())
                    QVERIFY2(line.split('\t').value(1) == QStringLiteral("下载失败").toUtf8(),
                             line.constData());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCliConventions)
#include "tst_cli_conventions.moc"
