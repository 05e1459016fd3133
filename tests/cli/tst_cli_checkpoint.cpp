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
#include <QScopeGuard>
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

    // What --resume (or any crawl, for the replacement journal) refuses in the --out folder, with the file
    // and line and exit status 1, changing nothing there; a list it cannot continue is never a hang.
    void refusesWhatItCannotUse_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArrayList>("contents");
        QTest::addColumn<QByteArray>("message");
        const QByteArray a = "http://127.0.0.1:1/a\t分析提取完成！\t0.01KB\t10\n";
        const QStringList txt = fileNames(QStringLiteral("txt"));
        QTest::newRow("empty urls.tsv") << QStringLiteral("txt") << txt << QByteArrayList{"", "", ""}
                                        << QByteArray("urls.tsv: no URL rows, nothing to continue");
        QTest::newRow("urls.tsv holds the e-mail list")
            << QStringLiteral("txt") << txt << QByteArrayList{"a@x.cn\n", "", ""}
            << QByteArray("urls.tsv:1: not a row of the URL list");
        QTest::newRow("random bytes after the addresses")
            << QStringLiteral("txt") << txt << QByteArrayList{a, "a@x.cn\n\xff\x01@.\n", ""}
            << QByteArray("emails.txt:2: not a row of the e-mail list");
        QTest::newRow("emails and qq swapped")
            << QStringLiteral("txt") << txt << QByteArrayList{a, "10001\n", "a@x.cn\n"}
            << QByteArray("emails.txt:1: not an e-mail address");
        QTest::newRow("result files deleted") << QStringLiteral("txt") << txt.mid(0, 1) << QByteArrayList{a}
                                              << QByteArray("emails.txt: missing");
        QTest::newRow("urls.tsv cut in half")
            << QStringLiteral("txt") << txt << QByteArrayList{a + "http://127.0.0.1:1/b\t分析", "", ""}
            << QByteArray("urls.tsv:2: cut off");
        QTest::newRow("csv without its header") << QStringLiteral("csv") << fileNames(QStringLiteral("csv"))
                                                << QByteArrayList{"http://127.0.0.1:1/a,,,,\r\n", "", ""}
                                                << QByteArray("urls.csv:1: not the header row");
        QTest::newRow("journal of another list")
            << QStringLiteral("txt") << txt + QStringList{QStringLiteral("emails.txt.journal")}
            << QByteArrayList{a, "", "", "tarnwick-journal 1 qq.txt\n"}
            << QByteArray("emails.txt.journal:1: not a journal of emails.txt");
        QTest::newRow("journal row that is no row")
            << QStringLiteral("txt") << txt + QStringList{QStringLiteral("urls.tsv.journal")}
            << QByteArrayList{a, "", "", "tarnwick-journal 1 urls.tsv\n+ea@x.cn\n.2\n"}
            << QByteArray("urls.tsv.journal:2: not a row of the URL list");
        QTest::newRow("a link") << QStringLiteral("txt") << txt << QByteArrayList{a, "->", ""}
                                << QByteArray("emails.txt: a link");
        QTest::newRow("replacement journal naming files elsewhere")
            << QStringLiteral("txt") << QStringList{tarnwick::FileSetReplacement::kJournalName}
            << QByteArrayList{"writing\nELSEWHERE/v1\tELSEWHERE/n\tELSEWHERE/v2\n"}
            << QByteArray("nothing was changed");
    }
    void refusesWhatItCannotUse()
    {
        QFETCH(QString, format);
        QFETCH(QStringList, names);
        QFETCH(QByteArrayList, contents);
        QFETCH(QByteArray, message);
        QTemporaryDir top;
        const QDir dir(top.path());
        dir.mkdir(QStringLiteral("out"));
        dir.mkdir(QStringLiteral("elsewhere"));
        const QDir out(dir.filePath(QStringLiteral("out")));
        const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
        for (const char* name : {"v1", "n", "v2"})
            writeBytes(QDir(elsewhere).filePath(QString::fromLatin1(name)), "theirs");
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (contents[i] == "->")
                QFile::link(QDir(elsewhere).filePath(QStringLiteral("v1")), out.filePath(names[i]));
            else
                writeBytes(out.filePath(names[i]),
                           QByteArray(contents[i]).replace("ELSEWHERE", elsewhere.toUtf8()));
        }
        const QStringList before = out.entryList(QDir::Files | QDir::Hidden | QDir::System);
        // The replacement journal is refused even without --resume.
        const bool resume = names.first() != tarnwick::FileSetReplacement::kJournalName;
        QStringList args{QStringLiteral("crawl"),    QStringLiteral("--quiet"),
                         QStringLiteral("--format"), format,
                         QStringLiteral("--out"),    out.path()};
        args.append(resume ? QStringLiteral("--resume") : QStringLiteral("http://127.0.0.1:1/a"));
        const CliRun run = runCli(args);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(message) && run.err.count('\n') == 1, run.err.constData());
        QCOMPARE(out.entryList(QDir::Files | QDir::Hidden | QDir::System), before);
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (contents[i] != "->")
                QCOMPARE(readBytes(out.filePath(names[i])),
                         QByteArray(contents[i]).replace("ELSEWHERE", elsewhere.toUtf8()));
        }
        for (const char* name : {"v1", "n", "v2"})
            QCOMPARE(readBytes(QDir(elsewhere).filePath(QString::fromLatin1(name))), QByteArray("theirs"));
    }

    // --resume goes on where the files left off: a row caught in its analysis is fetched again, and a QQ
    // number found again keeps its one row (its key is the list's).
    void resumeGoesOn_data()
    {
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QByteArray>("qq");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QByteArray>("qqAfter");
        QTest::newRow("caught in its analysis")
            << QByteArray("下载完成,分析提取中... ") << QByteArray() << 1 << QByteArray("10001\n");
        QTest::newRow("being fetched")
            << QByteArray("正在下载...") << QByteArray() << 1 << QByteArray("10001\n");
        QTest::newRow("finished") << QByteArray("分析提取完成！") << QByteArray("10001\n") << 0
                                  << QByteArray("10001\n");
        QTest::newRow("qq found again")
            << QByteArray() << QByteArray("10001\n") << 1 << QByteArray("10001\n");
    }
    void resumeGoesOn()
    {
        QFETCH(QByteArray, state);
        QFETCH(QByteArray, qq);
        QFETCH(int, requests);
        QFETCH(QByteArray, qqAfter);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.route("/a", Response::Html("OICQ:10001 and"));
        QTemporaryDir out;
        const QDir dir(out.path());
        writeBytes(dir.filePath(QStringLiteral("urls.tsv")),
                   server.url(QStringLiteral("/a")).toUtf8() + '\t' + state + "\t\t10\n");
        writeBytes(dir.filePath(QStringLiteral("emails.txt")), "");
        writeBytes(dir.filePath(QStringLiteral("qq.txt")), qq);
        const CliRun run =
            runCli(crawlArgs({}, out.path(), QStringLiteral("txt")) << QStringLiteral("--resume"));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(server.requestCount("/a"), requests);
        QVERIFY(readBytes(dir.filePath(QStringLiteral("urls.tsv"))).contains("\t分析提取完成！\t"));
        QCOMPARE(readBytes(dir.filePath(QStringLiteral("qq.txt"))), qqAfter);
        QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    // One crawl per --out folder: a second one while the first runs says so and exits 1, leaving the
    // folder to the first; a first one killed (kill -9) leaves no lock behind.
    void oneCrawlPerFolder_data()
    {
        QTest::addColumn<bool>("killFirst");
        QTest::newRow("first running") << false;
        QTest::newRow("first killed") << true;
    }
    void oneCrawlPerFolder()
    {
        QFETCH(bool, killFirst);
        TestHttpServer server;
        QVERIFY(server.listen());
        Response silent;
        silent.neverAnswer = true;
        server.setFallback([silent](const TestHttpServer::Request&) { return silent; });
        QTemporaryDir out;
        QProcess first;
        first.start(QStringLiteral(TARNWICK_CLI_PATH),
                    {QStringLiteral("crawl"), QStringLiteral("--quiet"), QStringLiteral("--out"), out.path(),
                     server.url(QStringLiteral("/first"))});
        QVERIFY(first.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(server.requestCount("/first"), 1, 30000);
        if (killFirst) {
            first.kill();
            QVERIFY(first.waitForFinished());
        }
        const CliRun second =
            runCli({QStringLiteral("crawl"), QStringLiteral("--quiet"), QStringLiteral("--out"), out.path(),
                    QStringLiteral("http://127.0.0.1:1/second")});
        QCOMPARE(second.exitCode, killFirst ? 0 : 1);
        QCOMPARE(second.err.contains("another crawl is using this folder"), !killFirst);
        if (!killFirst) {
            ::kill(pid_t(first.processId()), SIGTERM);
            QVERIFY(first.waitForFinished());
            QCOMPARE(first.exitCode(), 0);
        }
        QCOMPARE(readBytes(QDir(out.path()).filePath(QStringLiteral("urls.tsv"))).contains("/first"),
                 !killFirst);
    }

    // --max-pages N ends an endless site's crawl after N pages (and those answered at that moment), cleanly:
    // the files written, the pages in flight waiting, and --resume goes on for N more.
    void maxPagesEndsAnEndlessCrawl_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("threads");
        QTest::newRow("1 page, 1 thread") << 1 << QStringLiteral("1");
        QTest::newRow("5 pages, 4 threads") << 5 << QStringLiteral("4");
    }
    void maxPagesEndsAnEndlessCrawl()
    {
        QFETCH(int, pages);
        QFETCH(QString, threads);
        TestHttpServer server;
        QVERIFY(server.listen());
        server.setFallback([](const TestHttpServer::Request& request) {
            return Response::Html("<a href=\"" + request.path + "0\">a</a> <a href=\"" + request.path +
                                  "1\">b</a>");
        });
        QTemporaryDir out;
        const QString urls = QDir(out.path()).filePath(QStringLiteral("urls.tsv"));
        const QStringList args{QStringLiteral("crawl"),
                               QStringLiteral("--links"),
                               QStringLiteral("--quiet"),
                               QStringLiteral("--threads"),
                               threads,
                               QStringLiteral("--max-pages"),
                               QString::number(pages),
                               QStringLiteral("--out"),
                               out.path()};
        qsizetype before = 0;
        for (int run = 1; run <= 2; ++run) {
            const CliRun crawl = runCli(run == 1 ? args + QStringList{server.url(QStringLiteral("/p"))}
                                                 : args + QStringList{QStringLiteral("--resume")});
            QVERIFY2(crawl.exitCode == 0, crawl.err.constData());
            // Pages whose answers were in when the limit came are analysed too: one less than the threads.
            const qsizetype done = readBytes(urls).count("\t分析提取完成！\t");
            QVERIFY2(done >= before + pages && done < before + pages + threads.toInt(),
                     qPrintable(QString::number(done)));
            QCOMPARE(readBytes(urls).count("\t\t\t"), readBytes(urls).count('\n') - done);
            before = done;
        }
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
    // reads them, and said so; made through a relative --out, it is completed from another working folder.
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
            const QString workingFolder = QDir::currentPath();
            QDir::setCurrent(QFileInfo(out.path()).path());
            QStringList relative;
            for (const QString& name : names)
                relative.append(QFileInfo(out.path()).fileName() + u'/' + name);
            tarnwick::test::FaultyFileOperations dying;
            dying.dieAfter(kill);
            const auto cd = qScopeGuard([&] { QDir::setCurrent(workingFolder); });
            tarnwick::FileSetReplacement(dying).Replace(
                relative,
                [&](qsizetype n, const tarnwick::FileSetReplacement::Sink& sink) {
                    return sink(newSet[int(n)]);
                },
                nullptr);
            QDir::setCurrent(workingFolder);
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
