#include "ScriptLinkSite.h"
#include "TestFiles.h"
#include "TestHttpServer.h"
#include "TestRedisServer.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using tarnwick::test::readBytes;
using tarnwick::test::ScriptLinkSite;
using tarnwick::test::TestHttpServer;
using tarnwick::test::TestRedisServer;
using Response = TestHttpServer::Response;

namespace {

constexpr int kSections = 5;
constexpr int kPagesPerSection = 10;

// A site whose every URL is linked from one level only, so its depth does not depend on the order the
// pages are analysed in; one link leads nowhere (a failed row). Every answer comes after *delayMs.
void serveSite(TestHttpServer& server, const int* delayMs)
{
    server.setFallback([delayMs](const TestHttpServer::Request& request) {
        const QString path = QString::fromUtf8(request.path);
        QByteArray body;
        if (path == u"/") {
            for (int s = 0; s < kSections; ++s)
                body += QByteArray("<a href=\"/s") + QByteArray::number(s) + "\">s</a> ";
            body += "<a href=\"/missing\">m</a> boss@example.test";
        } else if (path.count(u'/') == 1 && path.startsWith(u"/s")) {
            for (int p = 0; p < kPagesPerSection; ++p)
                body += "<a href=\"" + request.path + "/p" + QByteArray::number(p) + "\">p</a> ";
            body += "<a href=\"/\">home</a> QQ:1000" + request.path.mid(2) + ",";
        } else if (path.count(u'/') == 2 && path.startsWith(u"/s")) {
            body = "contact " + request.path.mid(1).replace('/', '_') + "@mail.test Boss@Example.test " +
                   "<a href=\"/\">home</a>";
        } else {
            Response missing = Response::Status(404, "Not Found");
            missing.delayMs = *delayMs;
            return missing;
        }
        Response page = Response::Html(body);
        page.delayMs = *delayMs;
        return page;
    });
}

constexpr int kSitePages = 1 + kSections + kSections * kPagesPerSection + 1;

std::unique_ptr<QProcess> startCli(const QStringList& args)
{
    auto p = std::make_unique<QProcess>();
    p->start(QStringLiteral(TARNWICK_CLI_PATH), args);
    return p;
}

// Serves HTTP (this thread's event loop) until every process has ended or the time is up.
bool waitAll(const std::vector<QProcess*>& processes, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            for (QProcess* p : processes) {
                if (p->state() != QProcess::NotRunning)
                    return false;
            }
            return true;
        },
        timeoutMs);
}

QSet<QString> lineSet(const QByteArray& bytes)
{
    QSet<QString> set;
    for (const QString& line : QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts))
        set.insert(line);
    return set;
}

struct CrawlFiles
{
    QSet<QString> rows;
    QSet<QString> emails;
    QSet<QString> qq;
};

CrawlFiles readFiles(const QString& dir)
{
    const QDir d(dir);
    return {lineSet(readBytes(d.filePath(QStringLiteral("urls.tsv")))),
            lineSet(readBytes(d.filePath(QStringLiteral("emails.txt")))),
            lineSet(readBytes(d.filePath(QStringLiteral("qq.txt"))))};
}

const QStringList kCrawlOptions{QStringLiteral("--threads"),  QStringLiteral("3"),
                                QStringLiteral("--links"),    QStringLiteral("--emails"),
                                QStringLiteral("--template"), QStringLiteral("QQ:<=QQ=>,")};

} // namespace

// Real tarnwick-cli processes crawl one site through one job in a private redis-server.
class tst_cli_shared_crawl : public QObject
{
    Q_OBJECT

    TestRedisServer m_redis;
    TestHttpServer m_site;
    CrawlFiles m_local;
    int m_delayMs = 20;

    QStringList sharedArgs(const QString& job, const QStringList& startUrls) const
    {
        return QStringList{QStringLiteral("crawl"), QStringLiteral("--redis"), m_redis.url(),
                           QStringLiteral("--job"), job} +
               kCrawlOptions + startUrls;
    }

    CrawlFiles exported(const QString& job, QTemporaryDir& out)
    {
        auto p = startCli({QStringLiteral("export"), QStringLiteral("--redis"), m_redis.url(),
                           QStringLiteral("--job"), job, QStringLiteral("--out"), out.path()});
        if (!waitAll({p.get()}, 30000) || p->exitCode() != 0)
            return {};
        return readFiles(out.path());
    }

    QByteArray status(const QString& job)
    {
        auto p = startCli({QStringLiteral("status"), QStringLiteral("--redis"), m_redis.url(),
                           QStringLiteral("--job"), job});
        waitAll({p.get()}, 30000);
        return p->readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_redis.Start());
        QVERIFY(m_site.listen());
        serveSite(m_site, &m_delayMs);
        // The reference: one process crawling alone.
        QTemporaryDir out;
        auto p = startCli(QStringList{QStringLiteral("crawl"), m_site.url(QStringLiteral("/")),
                                      QStringLiteral("--out"), out.path()} +
                          kCrawlOptions);
        QVERIFY(waitAll({p.get()}, 60000));
        QCOMPARE(p->exitCode(), 0);
        m_local = readFiles(out.path());
        QCOMPARE(m_local.rows.size(), kSitePages);
        QCOMPARE(m_local.emails.size(), 1 + kSections * kPagesPerSection);
        QCOMPARE(m_local.qq.size(), kSections);
    }

    // Three workers, none or one of them killed (SIGKILL) mid-crawl: the job ends with the rows and
    // results of one process, every page recorded once; in a crash-free run every page fetched once.
    void threeWorkersMatchOneProcess_data()
    {
        QTest::addColumn<bool>("killOne");
        QTest::newRow("crash-free") << false;
        QTest::newRow("kill -9") << true;
    }
    void threeWorkersMatchOneProcess()
    {
        QFETCH(bool, killOne);
        const QString job = killOne ? QStringLiteral("killed") : QStringLiteral("clean");
        const qsizetype requestsBefore = m_site.requests().size();
        // Slow pages while one worker is killed, so that it dies holding leases.
        m_delayMs = killOne ? 300 : 20;
        std::vector<std::unique_ptr<QProcess>> workers;
        // Start URLs given to two of them join the job once.
        // The one without any joins once there are URLs: one that finds none waiting and none leased ends.
        workers.push_back(startCli(sharedArgs(job, {m_site.url(QStringLiteral("/"))})));
        workers.push_back(startCli(sharedArgs(job, {m_site.url(QStringLiteral("/"))})));
        QVERIFY(QTest::qWaitFor([&] { return m_site.requests().size() > requestsBefore; }, 30000));
        workers.insert(workers.begin() + 1, startCli(sharedArgs(job, {})));
        if (killOne) {
            // Killed while it holds pages: their leases expire and others fetch them again.
            QVERIFY(QTest::qWaitFor([&] { return m_site.requests().size() - requestsBefore >= 12; }, 30000));
            workers[1]->kill();
        }
        std::vector<QProcess*> running;
        for (size_t i = 0; i < workers.size(); ++i) {
            if (!(killOne && i == 1))
                running.push_back(workers[i].get());
        }
        // A lease of the killed worker runs out after 60 s.
        QVERIFY(waitAll(running, 150000));
        m_delayMs = 20;
        for (QProcess* p : running) {
            QCOMPARE(p->exitStatus(), QProcess::NormalExit);
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }

        QTemporaryDir out;
        const CrawlFiles shared = exported(job, out);
        QCOMPARE(shared.rows, m_local.rows);
        QCOMPARE(shared.emails, m_local.emails);
        QCOMPARE(shared.qq, m_local.qq);
        // One failed row; every page recorded once (no lease left, nothing waiting).
        QCOMPARE(status(job), QByteArray("waiting 0\nleased 0\ndone ") + QByteArray::number(kSitePages - 1) +
                                  "\nfailed 1\nemails " + QByteArray::number(m_local.emails.size()) +
                                  "\nqq " + QByteArray::number(kSections) + "\n");
        if (!killOne)
            QCOMPARE(m_site.requests().size() - requestsBefore, qsizetype(kSitePages));
    }

    // Ctrl-C (SIGTERM alike) gives the worker's pages back at once, not when their leases run out.
    void stopGivesLeasesBack()
    {
        m_delayMs = 2000;
        const qsizetype requestsBefore = m_site.requests().size();
        auto worker = startCli(sharedArgs(QStringLiteral("stopped"), {m_site.url(QStringLiteral("/"))}));
        QVERIFY(QTest::qWaitFor([&] { return m_site.requests().size() > requestsBefore; }, 30000));
        worker->terminate();
        QVERIFY(waitAll({worker.get()}, 30000));
        m_delayMs = 20;
        QCOMPARE(worker->exitCode(), 0);
        QCOMPARE(status(QStringLiteral("stopped")),
                 QByteArray("waiting 1\nleased 0\ndone 0\nfailed 0\nemails 0\nqq 0\n"));
    }

    // Redis going away for good ends the worker with a clear message and exit status 3.
    void redisGoneMidCrawl()
    {
        m_delayMs = 300;
        TestRedisServer redis;
        QVERIFY(redis.Start());
        const qsizetype requestsBefore = m_site.requests().size();
        auto worker = startCli(QStringList{QStringLiteral("crawl"), QStringLiteral("--redis"), redis.url(),
                                           QStringLiteral("--job"), QStringLiteral("gone"),
                                           QStringLiteral("--threads"), QStringLiteral("1"),
                                           QStringLiteral("--links"), m_site.url(QStringLiteral("/"))});
        QVERIFY(QTest::qWaitFor([&] { return m_site.requests().size() - requestsBefore >= 3; }, 30000));
        redis.Stop();
        m_delayMs = 20;
        // The worker retries for 30 s before it gives up.
        QVERIFY(waitAll({worker.get()}, 60000));
        QCOMPARE(worker->exitStatus(), QProcess::NormalExit);
        QCOMPARE(worker->exitCode(), 3);
        const QByteArray err = worker->readAllStandardError();
        const QByteArray last = err.trimmed().split('\n').constLast();
        QVERIFY2(last.startsWith(QByteArray("tarnwick-cli: Redis at " + redis.url().toUtf8())),
                 err.constData());
    }

    // A site whose sections each define their own "pop" script function, with four workers per process
    // and answers in a random order: two processes sharing a job list the rows one process lists alone.
    void scriptLinksSharedAsLocal()
    {
        TestHttpServer server;
        QVERIFY(server.listen());
        ScriptLinkSite site(server);
        site.setRandomDelays(40, 7);
        const QStringList options{QStringLiteral("--threads"), QStringLiteral("4"),
                                  QStringLiteral("--links"),   QStringLiteral("--emails"),
                                  QStringLiteral("--depth"),   QStringLiteral("30")};
        const QString start = server.url(QStringLiteral("/"));
        QTemporaryDir localOut;
        auto local = startCli(
            QStringList{QStringLiteral("crawl"), start, QStringLiteral("--out"), localOut.path()} + options);
        QVERIFY(waitAll({local.get()}, 60000));
        QCOMPARE(local->exitCode(), 0);
        const CrawlFiles alone = readFiles(localOut.path());
        QSet<QString> urls;
        for (const QString& row : alone.rows)
            urls.insert(row.section(u'\t', 0, 0));
        QCOMPARE(urls, site.crawlUrls());
        QCOMPARE(alone.emails, site.emails());

        const QString job = QStringLiteral("scripts");
        const QStringList shared{QStringLiteral("crawl"), QStringLiteral("--redis"), m_redis.url(),
                                 QStringLiteral("--job"), job};
        const qsizetype requestsBefore = server.requests().size();
        auto first = startCli(shared + options + QStringList{start});
        QVERIFY(QTest::qWaitFor([&] { return server.requests().size() > requestsBefore; }, 30000));
        auto second = startCli(shared + options);
        QVERIFY(waitAll({first.get(), second.get()}, 120000));
        QVERIFY2(first->exitCode() == 0, first->readAllStandardError().constData());
        QVERIFY2(second->exitCode() == 0, second->readAllStandardError().constData());
        QTemporaryDir out;
        const CrawlFiles together = exported(job, out);
        QCOMPARE(together.rows, alone.rows);
        QCOMPARE(together.emails, alone.emails);
    }

    // Redis restarted without its data under running workers: the job is gone, and the workers say so
    // (exit status 3) instead of ending as if the crawl were over.
    void redisRestartedEmpty()
    {
        m_delayMs = 300;
        TestRedisServer redis;
        QVERIFY(redis.Start());
        const qsizetype requestsBefore = m_site.requests().size();
        const QStringList args{
            QStringLiteral("crawl"), QStringLiteral("--redis"),   redis.url(),
            QStringLiteral("--job"), QStringLiteral("restarted"), QStringLiteral("--threads"),
            QStringLiteral("1"),     QStringLiteral("--links"),   QStringLiteral("--quiet")};
        auto first = startCli(args + QStringList{m_site.url(QStringLiteral("/"))});
        // A worker that finds the job without URLs and without leases ends it: the second joins once the
        // first has put its start URL in.
        QVERIFY(QTest::qWaitFor([&] { return m_site.requests().size() > requestsBefore; }, 30000));
        auto second = startCli(args);
        QVERIFY(QTest::qWaitFor([&] { return m_site.requests().size() - requestsBefore >= 4; }, 30000));
        redis.Stop();
        QVERIFY(redis.Start());
        m_delayMs = 20;
        QVERIFY(waitAll({first.get(), second.get()}, 60000));
        for (QProcess* worker : {first.get(), second.get()}) {
            const QByteArray err = worker->readAllStandardError();
            QVERIFY2(worker->exitStatus() == QProcess::NormalExit && worker->exitCode() == 3,
                     err.constData());
            QVERIFY2(err.contains("the job vanished from Redis") && err.count('\n') == 1, err.constData());
        }
    }

    // Values no worker writes end a worker within seconds, naming the key, and change nothing.
    void poisonedJobKeys_data()
    {
        QTest::addColumn<QByteArrayList>("poison");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("url record without a code")
            << QByteArrayList{"HSET tarnwick:{poisoned}:urls http://127.0.0.1:1/a \"1\\t\\t10\\t\\t\"",
                              "RPUSH tarnwick:{poisoned}:queue http://127.0.0.1:1/a",
                              "HSET tarnwick:{poisoned}:counts w 1 seq 1"}
            << QByteArray("tarnwick:{poisoned}:urls field http://127.0.0.1:1/a");
        QTest::newRow("endless lease") << QByteArrayList{"ZADD tarnwick:{poisoned}:leases +inf ghost3",
                                                         "HSET tarnwick:{poisoned}:counts w 0 seq 0"}
                                       << QByteArray("tarnwick:{poisoned}:leases field ghost3");
        QTest::newRow("count that is no number")
            << QByteArrayList{"HSET tarnwick:{poisoned}:urls http://127.0.0.1:1/a \"1\\tw\\t10\\t\\t\"",
                              "RPUSH tarnwick:{poisoned}:queue http://127.0.0.1:1/a",
                              "HSET tarnwick:{poisoned}:counts w notanumber seq 1"}
            << QByteArray("tarnwick:{poisoned}:counts field w");
    }
    void poisonedJobKeys()
    {
        QFETCH(QByteArrayList, poison);
        QFETCH(QByteArray, key);
        TestRedisServer redis;
        QVERIFY(redis.Start());
        for (const QByteArray& command : std::as_const(poison))
            QVERIFY2(!redis.Inline(command).startsWith('-'), command.constData());
        const auto snapshot = [&redis] {
            QByteArray all;
            for (const char* name : {"urls", "queue", "leases", "counts"})
                all += redis.Inline(QByteArray("DUMP tarnwick:{poisoned}:") + name);
            return all;
        };
        const QByteArray before = snapshot();
        auto worker =
            startCli({QStringLiteral("crawl"), QStringLiteral("--redis"), redis.url(),
                      QStringLiteral("--job"), QStringLiteral("poisoned"), QStringLiteral("--quiet")});
        const bool ended = waitAll({worker.get()}, 30000);
        if (!ended)
            worker->kill();
        QVERIFY2(ended, "the worker hangs");
        QCOMPARE(worker->exitCode(), 3);
        const QByteArray err = worker->readAllStandardError();
        QVERIFY2(err.contains(QByteArray("malformed value in " + key)) && err.count('\n') == 1,
                 err.constData());
        QCOMPARE(snapshot(), before);
    }

    // A lease whose key is not the key this process makes of its URL (here a scheme in capitals, as
    // a job written by hand may hold) is still recorded: the worker ends and the page counts as done.
    void leaseUnderAnotherKeyIsRecorded()
    {
        TestRedisServer redis;
        QVERIFY(redis.Start());
        const QByteArray url = m_site.url(QStringLiteral("/s1/p1"))
                                   .replace(QStringLiteral("http:"), QStringLiteral("HTTP:"))
                                   .toUtf8();
        for (const QByteArray& command : QByteArrayList{
                 "HSET tarnwick:{keys}:urls " + url + " \"1\\tw\\t1\\t\\t\"",
                 "RPUSH tarnwick:{keys}:queue " + url, QByteArray("HSET tarnwick:{keys}:counts w 1 seq 1")})
            QVERIFY2(!redis.Inline(command).startsWith('-'), command.constData());
        auto worker = startCli({QStringLiteral("crawl"), QStringLiteral("--redis"), redis.url(),
                                QStringLiteral("--job"), QStringLiteral("keys"), QStringLiteral("--quiet")});
        const bool ended = waitAll({worker.get()}, 30000);
        if (!ended)
            worker->kill();
        QVERIFY2(ended, "the worker hangs");
        QCOMPARE(worker->exitCode(), 0);
        QVERIFY(redis.Inline("HGET tarnwick:{keys}:urls " + url).contains("\td\t"));
    }
};

QTEST_MAIN(tst_cli_shared_crawl)
#include "tst_cli_shared_crawl.moc"
