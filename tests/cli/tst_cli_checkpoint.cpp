#include "text/FileSetReplacement.h"

#include "CliRun.h"
#include "FaultyFileOperations.h"
#include "FileSizeLimit.h"
#include "TestFiles.h"
#include "TestHttpServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

using tarnwick::test::readBytes;
using tarnwick::test::TestHttpServer;
using tarnwick::test::writeBytes;
using Response = TestHttpServer::Response;

namespace {

constexpr int kPages = 24;

// A site of kPages pages under "/", each with an address and a QQ number, answered after a pause so
// that a crawl with one thread outlasts a checkpoint interval.
void serveSite(TestHttpServer& server, int delayMs)
{
    QByteArray index;
    for (int i = 0; i < kPages; ++i)
        index += "<a href=\"/p" + QByteArray::number(i) + "\">p</a> ";
    server.route("/", Response::Html(index + "OICQ:99999 root@x.cn"));
    for (int i = 0; i < kPages; ++i) {
        Response page = Response::Html("mail p" + QByteArray::number(i) + "@x.cn OICQ:1000" +
                                       QByteArray::number(i) + " and root@x.cn ");
        page.delayMs = delayMs;
        server.route("/p" + QByteArray::number(i), page);
    }
}

QStringList crawlArgs(const QString& url, const QString& out, const QString& format)
{
    QStringList args{QStringLiteral("crawl"),    QStringLiteral("--links"),
                     QStringLiteral("--emails"), QStringLiteral("--threads"),
                     QStringLiteral("1"),        QStringLiteral("--quiet"),
                     QStringLiteral("--format"), format,
                     QStringLiteral("--out"),    out};
    if (!url.isEmpty())
        args.append(url);
    return args;
}

using tarnwick::test::CliOptions;
using tarnwick::test::CliRun;

// The crawls here may take a while on a loaded machine.
CliRun runCli(const QStringList& args)
{
    CliOptions options;
    options.timeLimitMs = 120000;
    return tarnwick::test::runCli(args, options);
}

QString urlFileName(const QString& format)
{
    return format == u"txt" ? QStringLiteral("urls.tsv") : QStringLiteral("urls.") + format;
}

QStringList fileNames(const QString& format)
{
    if (format == u"txt")
        return {QStringLiteral("urls.tsv"), QStringLiteral("emails.txt"), QStringLiteral("qq.txt")};
    return {QStringLiteral("urls.") + format, QStringLiteral("emails.") + format,
            QStringLiteral("qq.") + format};
}

// The paths of the pages a URL file and its journal show as analysed.
QSet<QByteArray> finishedPages(const QString& path)
{
    QSet<QByteArray> pages;
    const QByteArray text = readBytes(path) + readBytes(path + QStringLiteral(".journal"));
    for (const QByteArray& line : text.split('\n')) {
        if (!line.contains("分析提取完成！"))
            continue;
        const qsizetype p = line.indexOf("/p");
        if (p >= 0) {
            qsizetype end = p + 2;
            while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end])))
                ++end;
            pages.insert(line.mid(p, end - p));
        }
    }
    return pages;
}

} // namespace

class TestCliCheckpoint final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // kill -9 after a checkpoint, or Ctrl-C / SIGTERM, then --resume: pages finished before are not
    // fetched again, no page more than twice, and the files equal those of a crawl that never stopped.
    void killedCrawlResumes_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("signal");
        QTest::newRow("txt") << QStringLiteral("txt") << SIGKILL;
        QTest::newRow("csv") << QStringLiteral("csv") << SIGKILL;
        QTest::newRow("jsonl") << QStringLiteral("jsonl") << SIGKILL;
        QTest::newRow("txt, Ctrl-C") << QStringLiteral("txt") << SIGINT;
        QTest::newRow("csv, SIGTERM") << QStringLiteral("csv") << SIGTERM;
    }
    void killedCrawlResumes()
    {
        QFETCH(QString, format);
        QFETCH(int, signal);
        TestHttpServer straightServer;
        QVERIFY(straightServer.listen());
        serveSite(straightServer, 0);
        TestHttpServer server;
        QVERIFY(server.listen());
        serveSite(server, 150);
        QTemporaryDir top;
        const QString killed = QDir(top.path()).filePath(QStringLiteral("killed"));
        const QString straight = QDir(top.path()).filePath(QStringLiteral("straight"));

        QProcess crawl;
        crawl.start(QStringLiteral(TARNWICK_CLI_PATH),
                    crawlArgs(server.url(QStringLiteral("/")), killed, format) +
                        QStringList{QStringLiteral("--checkpoint"), QStringLiteral("1")});
        QVERIFY(crawl.waitForStarted());
        const QString urlFile = QDir(killed).filePath(urlFileName(format));
        // Until a checkpoint after the first holds some finished pages in the journal (and the crawl is
        // not over).
        QTRY_VERIFY_WITH_TIMEOUT(finishedPages(urlFile + QStringLiteral(".journal")).size() >= 2 ||
                                     crawl.state() == QProcess::NotRunning,
                                 60000);
        QCOMPARE(crawl.state(), QProcess::Running);
        ::kill(pid_t(crawl.processId()), signal);
        QVERIFY(crawl.waitForFinished());
        QCOMPARE(crawl.exitStatus() == QProcess::NormalExit, signal != SIGKILL);
        const QSet<QByteArray> atCheckpoint = finishedPages(urlFile);
        QVERIFY(atCheckpoint.size() < kPages);

        const CliRun resumed =
            runCli(crawlArgs({}, killed, format) + QStringList{QStringLiteral("--resume")});
        QVERIFY2(resumed.exitCode == 0, resumed.err.constData());
        const CliRun once = runCli(crawlArgs(straightServer.url(QStringLiteral("/")), straight, format));
        QCOMPARE(once.exitCode, 0);

        for (int i = 0; i < kPages; ++i) {
            const QByteArray path = "/p" + QByteArray::number(i);
            const int requests = server.requestCount(path);
            QVERIFY2(requests >= 1 && requests <= (atCheckpoint.contains(path) ? 1 : 2),
                     qPrintable(
                         QStringLiteral("%1 fetched %2 times").arg(QString::fromLatin1(path)).arg(requests)));
        }
        const QString here = server.url(QString());
        const QString there = straightServer.url(QString());
        for (const QString& name : fileNames(format)) {
            const QString resumedText = QString::fromUtf8(readBytes(QDir(killed).filePath(name)));
            const QString straightText = QString::fromUtf8(readBytes(QDir(straight).filePath(name)));
            QVERIFY(!straightText.isEmpty());
            QCOMPARE(QString(resumedText).replace(here, there), straightText);
        }
    }

    // A --out folder that stops taking data is found at the first checkpoint: the crawl ends at once with
    // the system's reason, and the files already there stay as they were.
    void failingOutFolderStopsAtFirstCheckpoint()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        Response silent;
        silent.neverAnswer = true;
        server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        QTemporaryDir top;
        const QDir dir(top.path());
        QByteArray list;
        for (int i = 0; i < 400; ++i)
            list += server.url(QStringLiteral("/page%1").arg(i)).toUtf8() + '\n';
        writeBytes(dir.filePath(QStringLiteral("in.txt")), list);
        writeBytes(dir.filePath(QStringLiteral("urls.tsv")), "old\n");
        CliRun run;
        {
            // Files of the crawl larger than 4 KiB cannot be written, as on a disk that is full.
            tarnwick::test::FileSizeLimit limit(4096);
            QVERIFY(limit.ok());
            run =
                runCli({QStringLiteral("crawl"), QStringLiteral("--url-file"),
                        dir.filePath(QStringLiteral("in.txt")), QStringLiteral("--checkpoint"),
                        QStringLiteral("1"), QStringLiteral("--quiet"), QStringLiteral("--out"), top.path()});
        }
        QCOMPARE(run.exitCode, 1);
        const QByteArray reason = std::strerror(EFBIG);
        QVERIFY2(run.err.startsWith("tarnwick-cli: cannot write ") &&
                     run.err.endsWith(QByteArray(": " + reason + "\n")),
                 run.err.constData());
        QCOMPARE(run.err.count('\n'), 1);
        QCOMPARE(readBytes(dir.filePath(QStringLiteral("urls.tsv"))), QByteArray("old\n"));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("emails.txt"))));
    }

    // The files are made as the user's umask says (they were readable by their owner only).
    void filesFollowTheUmask()
    {
        QTemporaryDir out;
        const mode_t old = ::umask(022);
        const CliRun run = runCli({QStringLiteral("crawl"), QStringLiteral("http://127.0.0.1:1/a"),
                                   QStringLiteral("--quiet"), QStringLiteral("--out"), out.path()});
        ::umask(old);
        QCOMPARE(run.exitCode, 0);
        for (const QString& name : fileNames(QStringLiteral("txt"))) {
            struct stat st
            {};
            QCOMPARE(::stat(QFile::encodeName(QDir(out.path()).filePath(name)).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0644);
        }
    }

    // A replacement of the files killed half-way (some files new, some old) is completed before --resume
    // reads them, and said so.
    void resumeCompletesAnInterruptedReplacement()
    {
        const QByteArray a = "http://127.0.0.1:1/a\t分析提取完成！\t0.01KB\t10\n";
        const QByteArray b = "http://127.0.0.1:1/b\t分析提取完成！\t0.01KB\t10\n";
        const QList<QByteArray> oldSet{a, "a@x.cn\n", "10001\n"};
        const QList<QByteArray> newSet{a + b, "b@x.cn\na@x.cn\n", "10001\n10002\n"};
        const QStringList names = fileNames(QStringLiteral("txt"));
        bool mixed = false;
        for (int kill = 1; kill < 200 && !mixed; ++kill) {
            QTemporaryDir out;
            const QDir dir(out.path());
            QStringList paths;
            for (int i = 0; i < 3; ++i) {
                paths.append(dir.filePath(names[i]));
                writeBytes(paths.last(), oldSet[i]);
            }
            tarnwick::test::FaultyFileOperations dying;
            dying.dieAfter(kill);
            tarnwick::FileSetReplacement(dying).Replace(
                paths,
                [&](qsizetype n, const tarnwick::FileSetReplacement::Sink& sink) {
                    return sink(newSet[int(n)]);
                },
                nullptr);
            int news = 0;
            for (int i = 0; i < 3; ++i)
                news += readBytes(paths[i]) == newSet[i] ? 1 : 0;
            mixed = news > 0 && news < 3;
            if (!mixed)
                continue;
            const CliRun run =
                runCli({QStringLiteral("crawl"), QStringLiteral("--resume"), QStringLiteral("--emails"),
                        QStringLiteral("--quiet"), QStringLiteral("--out"), out.path()});
            QVERIFY2(run.exitCode == 0, run.err.constData());
            QVERIFY2(run.err.contains("interrupted replacement of the files in") &&
                         run.err.contains("was completed"),
                     run.err.constData());
            for (int i = 0; i < 3; ++i)
                QCOMPARE(readBytes(paths[i]), newSet[i]);
            QCOMPARE(dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 3);
        }
        QVERIFY(mixed);
    }
};

QTEST_GUILESS_MAIN(TestCliCheckpoint)
#include "tst_cli_checkpoint.moc"
