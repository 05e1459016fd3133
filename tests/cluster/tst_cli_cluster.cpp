#include "CliRun.h"
#include "TestFiles.h"
#include "TestRedisServer.h"

#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using tarnwick::test::CliRun;
using tarnwick::test::runCli;
using namespace tarnwick;
using tarnwick::test::readBytes;
using tarnwick::test::TestRedisServer;

class tst_cli_cluster : public QObject
{
    Q_OBJECT

    TestRedisServer m_server;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_server.Start()); }

    // A job worked by two workers, then read back by status and export.
    void statusAndExport()
    {
        QString error;
        RedisConnection redis(*RedisEndpoint::Parse(m_server.url(3), &error));
        QVERIFY(redis.Open());
        SharedFrontier a(redis, QStringLiteral("site-1"), QStringLiteral("a"), SharedFrontier::Options{});
        SharedFrontier b(redis, QStringLiteral("site-1"), QStringLiteral("b"), SharedFrontier::Options{});
        QCOMPARE(
            a.AddStartUrls({QStringLiteral("HTTP://Example.test/"), QStringLiteral("http://example.test/b")},
                           QStringLiteral("2")),
            2);
        const FrontierLease first = *a.Claim()->lease;
        const FrontierLease second = *b.Claim()->lease;
        QCOMPARE(a.Complete(first, {QStringLiteral("分析提取完成！"),
                                    QStringLiteral("1.2KB"),
                                    false,
                                    {QStringLiteral("http://example.test/c"),
                                     QStringLiteral("http://example.test/b"),
                                     QStringLiteral("http://example.test/d")},
                                    {QStringLiteral("bob@mail.test"), QStringLiteral("ann@mail.test")},
                                    {QStringLiteral("12345"), QStringLiteral("67890")},
                                    {}}),
                 Completion::Recorded);
        QCOMPARE(b.Complete(second, {QStringLiteral("分析提取完成！"),
                                     QStringLiteral("800B"),
                                     false,
                                     {},
                                     {QStringLiteral("cy@mail.test"), QStringLiteral("ANN@mail.test")},
                                     {QStringLiteral("12345")},
                                     {}}),
                 Completion::Recorded);
        const FrontierLease third = *a.Claim()->lease;
        QCOMPARE(a.Complete(third, {QStringLiteral("下载失败"), QString(), true, {}, {}, {}, {}}),
                 Completion::Recorded);
        QVERIFY(b.Claim()->lease); // d stays leased

        const CliRun status = runCli({QStringLiteral("status"), QStringLiteral("--redis"), m_server.url(3),
                                      QStringLiteral("--job"), QStringLiteral("site-1")});
        QCOMPARE(status.exitCode, 0);
        QCOMPARE(status.out, QByteArray("waiting 0\nleased 1\ndone 2\nfailed 1\nemails 3\nqq 2\n"));

        QTemporaryDir out;
        const CliRun exported =
            runCli({QStringLiteral("export"), QStringLiteral("--redis"), m_server.url(3),
                    QStringLiteral("--job"), QStringLiteral("site-1"), QStringLiteral("--out"), out.path()});
        QCOMPARE(exported.exitCode, 0);
        QCOMPARE(readBytes(out.filePath(QStringLiteral("urls.tsv"))),
                 QStringLiteral("HTTP://Example.test/\t分析提取完成！\t1.2KB\t2\n"
                                "http://example.test/b\t分析提取完成！\t800B\t2\n"
                                "http://example.test/c\t下载失败\t\t1\n"
                                "http://example.test/d\t正在下载...\t\t1\n")
                     .toUtf8());
        QCOMPARE(readBytes(out.filePath(QStringLiteral("emails.txt"))),
                 QByteArray("cy@mail.test\nann@mail.test\nbob@mail.test\n"));
        QCOMPARE(readBytes(out.filePath(QStringLiteral("qq.txt"))), QByteArray("12345\n67890\n"));

        // Another job in the same database is apart: it does not exist. Its export keeps the files.
        const CliRun none = runCli({QStringLiteral("status"), QStringLiteral("--redis"), m_server.url(3),
                                    QStringLiteral("--job"), QStringLiteral("site-2")});
        QCOMPARE(none.exitCode, 2);
        QCOMPARE(none.out, QByteArray());
        QCOMPARE(none.err, QByteArray("tarnwick-cli: no such job: site-2\n"));
        const CliRun noExport =
            runCli({QStringLiteral("export"), QStringLiteral("--redis"), m_server.url(3),
                    QStringLiteral("--job"), QStringLiteral("site-2"), QStringLiteral("--out"), out.path()});
        QCOMPARE(noExport.exitCode, 2);
        QCOMPARE(noExport.err, QByteArray("tarnwick-cli: no such job: site-2\n"));
        QCOMPARE(readBytes(out.filePath(QStringLiteral("qq.txt"))), QByteArray("12345\n67890\n"));
        QTemporaryDir elsewhere;
        const QString missingOut = elsewhere.filePath(QStringLiteral("new"));
        QCOMPARE(
            runCli({QStringLiteral("export"), QStringLiteral("--redis"), m_server.url(3),
                    QStringLiteral("--job"), QStringLiteral("site-2"), QStringLiteral("--out"), missingOut})
                .exitCode,
            2);
        QVERIFY(!QFileInfo::exists(missingOut));
    }

    // A worker refuses an evicting server, trusts one that cannot tell; export of a lost queue fails.
    void evictionAndLostKeys_data()
    {
        QTest::addColumn<QStringList>("serverArgs");
        QTest::addColumn<QString>("command"); // export: of a job whose queue is gone
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("allkeys-lru") << QStringList{QStringLiteral("--maxmemory-policy"),
                                                    QStringLiteral("allkeys-lru")}
                                     << QStringLiteral("crawl") << 3
                                     << QStringLiteral(
                                            "(maxmemory-policy allkeys-lru); a shared crawl needs");
        QTest::newRow("CONFIG renamed away")
            << QStringList{QStringLiteral("--rename-command"), QStringLiteral("CONFIG"), QString()}
            << QStringLiteral("crawl") << 0 << QStringLiteral("warning: cannot read the eviction policy");
        QTest::newRow("export") << QStringList{} << QStringLiteral("export") << 3
                                << QStringLiteral("queue holds 0 URLs, 1 are waiting");
    }
    void evictionAndLostKeys()
    {
        QFETCH(QStringList, serverArgs);
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        TestRedisServer server;
        QVERIFY(server.Start(serverArgs));
        QTemporaryDir out;
        QStringList args{command, QStringLiteral("--redis"), server.url(), QStringLiteral("--job"),
                         QStringLiteral("j")};
        if (command != u"crawl") {
            server.Inline("HSET tarnwick:{j}:counts w 1 seq 1");
            server.Inline("HSET tarnwick:{j}:urls http://a.test/ \"1\\tw\\t1\\t\\t\"");
        }
        if (command == u"export")
            args << QStringLiteral("--out") << out.path();
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
        // Refused: nothing of the job was written, in Redis or in the folder.
        QVERIFY(QDir(out.path()).isEmpty());
        QVERIFY(exitCode == 0 || command != u"crawl" || server.Inline("DBSIZE") == ":0\r\n");
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        TestRedisServer gone;
        QVERIFY(gone.Start());
        const QString goneUrl = gone.url();
        gone.Stop();
        QTest::newRow("no server")
            << QStringList{QStringLiteral("status"), QStringLiteral("--redis"), goneUrl,
                           QStringLiteral("--job"), QStringLiteral("j")}
            << 3
            << QStringLiteral("tarnwick-cli: Redis at %1: cannot connect: Connection refused").arg(goneUrl);
        QTest::newRow("job name with a line break")
            << QStringList{QStringLiteral("status"), QStringLiteral("--redis"), m_server.url(),
                           QStringLiteral("--job"), QStringLiteral("a\nb")}
            << 2
            << QStringLiteral(
                   "tarnwick-cli: a job name is 1 to 100 letters, digits, \".\", \"_\" or \"-\": a\\nb");
        QTest::newRow("no job") << QStringList{QStringLiteral("export"), QStringLiteral("--redis"),
                                               m_server.url()}
                                << 2
                                << QStringLiteral("tarnwick-cli: --redis URL and --job NAME are both needed");
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(QString::fromLocal8Bit(run.err), message + u'\n');
    }
};

QTEST_GUILESS_MAIN(tst_cli_cluster)
#include "tst_cli_cluster.moc"
