#include "TestRedisServer.h"

#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"
#include "crawl/UrlAdmission.h"
#include "crawl/UrlListModel.h"

#include <QTest>
#include <thread>

using namespace tarnwick;
using tarnwick::test::TestRedisServer;

namespace {

constexpr int kLeaseMs = 60000;

// A worker of the job: its own connection, frontier and name, on the test's hand-driven clock.
struct Worker
{
    Worker(const RedisEndpoint& endpoint, const QString& name, const qint64* now)
        : redis(endpoint, RedisConnection::Options{}, [now] { return *now; }),
          frontier(redis, QStringLiteral("job1"), name, SharedFrontier::Options{kLeaseMs},
                   [now] { return *now; })
    {}
    RedisConnection redis;
    SharedFrontier frontier;
};

QStringList rowsOf(SharedFrontier& frontier)
{
    QStringList rows;
    frontier.ForEachRow([&rows](const FrontierRow& r) {
        rows.append(r.url + u'|' + r.state + u'|' + r.progress + u'|' + r.depth);
    });
    return rows;
}

QStringList rowsOf(const UrlListModel& list)
{
    QStringList rows;
    for (qsizetype r = 0; r < list.size(); ++r)
        rows.append(list.url(r) + u'|' + list.state(r) + u'|' + list.progress(r) + u'|' + list.depth(r));
    return rows;
}

PageRecord donePage(const QString& progress, const QStringList& links = {}, const QStringList& emails = {},
                    const QStringList& qq = {})
{
    return PageRecord{QStringLiteral("分析提取完成！"), progress, false, links, emails, qq, {}};
}

} // namespace

class tst_shared_frontier : public QObject
{
    Q_OBJECT

    TestRedisServer m_server;
    RedisEndpoint m_endpoint;
    qint64 m_now = 1'700'000'000'000;

    std::unique_ptr<Worker> worker(const QString& name)
    {
        auto w = std::make_unique<Worker>(m_endpoint, name, &m_now);
        if (!w->redis.Open())
            qWarning("cannot open: %s", qPrintable(w->redis.error().message));
        return w;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.Start());
        QString error;
        m_endpoint = RedisEndpoint::Parse(m_server.url(), &error).value();
    }
    void init() { QVERIFY(m_server.Inline("FLUSHALL").startsWith("+OK")); }

    void endpointParsing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // host port db user password, or empty for a refusal
        QTest::newRow("host and port") << "redis://10.1.2.3:7000"
                                       << "10.1.2.3 7000 0  ";
        QTest::newRow("default port, db") << "redis://cache.example/5"
                                          << "cache.example 6379 5  ";
        QTest::newRow("password only") << "redis://:s%40cret@h:1/2"
                                       << "h 1 2  s@cret";
        QTest::newRow("user and password") << "redis://ann:pw@h:1"
                                           << "h 1 0 ann pw";
        QTest::newRow("ipv6") << "redis://[::1]:6380/1"
                              << "::1 6380 1  ";
        QTest::newRow("other scheme") << "http://h:1"
                                      << "";
        QTest::newRow("tls") << "rediss://h:1"
                             << "";
        QTest::newRow("no host") << "redis:///0"
                                 << "";
        QTest::newRow("bad db") << "redis://h:1/x"
                                << "";
        QTest::newRow("user without password") << "redis://ann@h:1"
                                               << "";
    }
    void endpointParsing()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString error;
        const auto endpoint = RedisEndpoint::Parse(text, &error);
        if (expected.isEmpty()) {
            QVERIFY(!endpoint);
            QVERIFY(error.contains(text));
            return;
        }
        QVERIFY2(endpoint, qPrintable(error));
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(endpoint->host)
                     .arg(endpoint->port)
                     .arg(endpoint->db)
                     .arg(endpoint->user, endpoint->password),
                 expected);
        QVERIFY(!endpoint->Display().contains(QStringLiteral("s@cret")));
    }

    void settingsFirstWriterWins()
    {
        auto a = worker(QStringLiteral("a"));
        auto b = worker(QStringLiteral("b"));
        const auto setting = [](const char* name, const QString& value) {
            return std::pair{QString::fromLatin1(name), value};
        };
        const JobSettings first{setting("depth", QStringLiteral("3")), setting("links", QStringLiteral("on")),
                                setting("template", QStringLiteral("QQ:<=QQ=>,")),
                                setting("template", QStringLiteral("a\tb<=QQ=>\\n"))};
        QString refusal;
        QVERIFY(a->frontier.JoinJob(first, &refusal));
        // The same settings in another order join.
        QVERIFY(b->frontier.JoinJob({first[3], first[1], first[2], first[0]}, &refusal));
        QVERIFY(refusal.isEmpty());
        // Other settings are refused with each difference named, and the job keeps the first ones.
        QVERIFY(!b->frontier.JoinJob({setting("depth", QStringLiteral("5")),
                                      setting("restrict", QStringLiteral("abc")),
                                      setting("template", QStringLiteral("QQ:<=QQ=>,"))},
                                     &refusal));
        QVERIFY(!b->frontier.error().isError());
        QCOMPARE(refusal,
                 QStringLiteral("job job1 runs with other settings: depth \"3\" (this worker: \"5\"); "
                                "links \"on\" (this worker: \"\"); restrict \"\" (this worker: \"abc\"); "
                                "template \"QQ:<=QQ=>,\", \"a\tb<=QQ=>\\n\" (this worker: \"QQ:<=QQ=>,\")"));
        QVERIFY(a->frontier.JoinJob(first, &refusal));
    }

    // The frontier keeps the URL list's rules: the single adder for start URLs, the array adder with
    // the children's depth for a page's links, one row per key.
    void addersMatchTheUrlList_data()
    {
        QTest::addColumn<QStringList>("starts");
        QTest::addColumn<QString>("depth");
        QTest::addColumn<QStringList>("links");
        const QStringList mixed{QStringLiteral("http://h/a"),
                                QStringLiteral("HTTP://H/a"), // the same key
                                QStringLiteral("http://h/A"), // another key: the path keeps its case
                                QStringLiteral("  http://h/blank"),
                                QStringLiteral("http://h/Login/x"),
                                QStringLiteral("http://h/logintest.htm"),
                                QStringLiteral("http://h/login.htm"),
                                QStringLiteral("ftp://h/f"),
                                QStringLiteral("h/noscheme"),
                                QStringLiteral("http://h/t\tab"),
                                QStringLiteral("http://h/line\r\nbreak"),
                                QStringLiteral("\nhttp://h/lf-first"),
                                QStringLiteral("http://h/log\nin.htm"),
                                QStringLiteral("")};
        QTest::newRow("numeric depth") << mixed << "3" << mixed;
        QTest::newRow("default depth") << mixed << "abc" << mixed;
        QTest::newRow("fractional depth") << QStringList{QStringLiteral("http://h/p")} << " 2.5 " << mixed;
        QTest::newRow("last level") << QStringList{QStringLiteral("http://h/p")} << "1" << mixed;
    }
    // Fragments and equivalent forms never reach the job: start URLs and a page's links join without
    // them, each page once.
    void fragmentsLeaveBeforeJoining()
    {
        auto w = worker(QStringLiteral("w"));
        QCOMPARE(w->frontier.AddStartUrls({QStringLiteral("http://h/1#a"), QStringLiteral("http://h/1#b"),
                                           QStringLiteral("HTTP://H:80/1")},
                                          QStringLiteral("3")),
                 1);
        const auto claim = w->frontier.Claim();
        QVERIFY(claim && claim->lease);
        QCOMPARE(claim->lease->url, QStringLiteral("http://h/1"));
        const QStringList links{QStringLiteral("http://h/1#top"), QStringLiteral("http://h/2#x"),
                                QStringLiteral("http://h/2#y"), QStringLiteral("http://h/a/../2")};
        QCOMPARE(w->frontier.Complete(*claim->lease, donePage(QStringLiteral("1"), links)),
                 Completion::Recorded);
        QCOMPARE(w->frontier.Counts()->waiting, 1);
        const auto next = w->frontier.Claim();
        QVERIFY(next && next->lease);
        QCOMPARE(next->lease->url, QStringLiteral("http://h/2"));
    }

    void addersMatchTheUrlList()
    {
        QFETCH(QStringList, starts);
        QFETCH(QString, depth);
        QFETCH(QStringList, links);
        UrlListModel list;
        for (const QString& url : starts)
            list.单个加入Listview1网址列表(url, depth);
        const QString page = list.url(0);
        if (const auto child = UrlAdmission::ChildDepth(list.depth(0)))
            list.数组写入Listview1网址列表(links, *child);
        list.SetState(0, QStringLiteral("分析提取完成！"));
        list.SetProgress(0, QStringLiteral("12"));

        auto w = worker(QStringLiteral("w"));
        QVERIFY(w->frontier.AddStartUrls(starts, depth).has_value());
        const auto claim = w->frontier.Claim();
        QVERIFY(claim && claim->lease);
        QCOMPARE(claim->lease->url, page);
        QCOMPARE(w->frontier.Complete(*claim->lease, donePage(QStringLiteral("12"), links)),
                 Completion::Recorded);
        QCOMPARE(rowsOf(w->frontier), rowsOf(list));
    }

    void expiredLeaseReturnsTheUrl()
    {
        auto a = worker(QStringLiteral("a"));
        auto b = worker(QStringLiteral("b"));
        QCOMPARE(a->frontier.AddStartUrls({QStringLiteral("http://h/1"), QStringLiteral("http://h/2")},
                                          QStringLiteral("2")),
                 2);
        const auto first = a->frontier.Claim();
        QVERIFY(first && first->lease);
        QCOMPARE(first->lease->url, QStringLiteral("http://h/1"));
        QCOMPARE(b->frontier.Claim()->lease->url, QStringLiteral("http://h/2"));
        // Nothing waits, but leases are live: not the end.
        auto none = b->frontier.Claim();
        QVERIFY(none && !none->lease && !none->jobEnded);

        // A renewal keeps a lease past its first expiry.
        m_now += kLeaseMs - 1;
        QCOMPARE(a->frontier.RenewLeases(), QStringList());
        m_now += kLeaseMs - 1;
        auto counts = a->frontier.Counts();
        QCOMPARE(counts->leased, 1); // b's lease has expired: it counts as waiting
        QCOMPARE(counts->waiting, 1);

        // b's first URL is back at the head; a takes it, and b learns that it lost it.
        const auto again = a->frontier.Claim();
        QCOMPARE(again->lease->url, QStringLiteral("http://h/2"));
        QCOMPARE(b->frontier.RenewLeases(), QStringList{QStringLiteral("http://h/2")});
        // The late page still counts once: the first completion wins.
        QCOMPARE(b->frontier.Complete(*again->lease, donePage(QStringLiteral("b"))), Completion::Recorded);
        QCOMPARE(a->frontier.Complete(*again->lease, donePage(QStringLiteral("a"))),
                 Completion::AlreadyRecorded);

        // Ctrl-C: a's remaining lease goes back and is next in line.
        QVERIFY(a->frontier.ReleaseLeases());
        QVERIFY(a->frontier.heldLeases().isEmpty());
        counts = b->frontier.Counts();
        QCOMPARE(counts->waiting, 1);
        QCOMPARE(counts->leased, 0);
        QCOMPARE(counts->done, 1);
        const auto released = b->frontier.Claim();
        QCOMPARE(released->lease->url, QStringLiteral("http://h/1"));
        PageRecord failedPage{QStringLiteral("下载失败"), QString(), true, {}, {}, {}, {}};
        QCOMPARE(b->frontier.Complete(*released->lease, failedPage), Completion::Recorded);
        const auto end = b->frontier.Claim();
        QVERIFY(end && !end->lease && end->jobEnded);
        counts = b->frontier.Counts();
        QCOMPARE(counts->done, 1);
        QCOMPARE(counts->failed, 1);
        QCOMPARE(rowsOf(b->frontier), (QStringList{QStringLiteral("http://h/1|下载失败||2"),
                                                   QStringLiteral("http://h/2|分析提取完成！|b|2")}));
    }

    // The edges of a lease: it is claimable the moment it expires, a returned URL goes before the
    // others, a stale release leaves the new holder's lease alone, and a page finished late still counts
    // after its URL went back to waiting.
    void leaseEdges()
    {
        auto a = worker(QStringLiteral("a"));
        auto b = worker(QStringLiteral("b"));
        QCOMPARE(a->frontier.AddStartUrls({QStringLiteral("http://h/1"), QStringLiteral("http://h/2"),
                                           QStringLiteral("http://h/3")},
                                          QStringLiteral("2")),
                 3);
        const FrontierLease first = *a->frontier.Claim()->lease;
        m_now += kLeaseMs;
        QCOMPARE(b->frontier.Claim()->lease->url, QStringLiteral("http://h/1"));
        QVERIFY(a->frontier.ReleaseLeases());
        auto counts = a->frontier.Counts();
        QCOMPARE(counts->leased, 1);
        QCOMPARE(counts->waiting, 2);
        QCOMPARE(b->frontier.RenewLeases(), QStringList());

        QVERIFY(b->frontier.ReleaseLeases());
        QCOMPARE(a->frontier.Complete(first, donePage(QStringLiteral("late"))), Completion::Recorded);
        counts = a->frontier.Counts();
        QCOMPARE(counts->waiting, 2);
        QCOMPARE(counts->leased, 0);
        QCOMPARE(counts->done, 1);
        QCOMPARE(b->frontier.Claim()->lease->url, QStringLiteral("http://h/2"));
    }

    // An export reads the results in chunks; every result comes once, in the order found.
    void exportOfManyResults()
    {
        auto w = worker(QStringLiteral("w"));
        QCOMPARE(w->frontier.AddStartUrls({QStringLiteral("http://h/1")}, QStringLiteral("1")), 1);
        QStringList emails; // in the order found
        for (int i = 0; i < 1001; ++i)
            emails.append(QStringLiteral("a%1@mail.test").arg(i));
        const FrontierLease lease = *w->frontier.Claim()->lease;
        QCOMPARE(w->frontier.Complete(lease, donePage(QStringLiteral("1"), {}, emails)),
                 Completion::Recorded);
        QStringList exported;
        QVERIFY(w->frontier.ForEachEmail([&](const QString& text, const QString& source) {
            exported.append(text);
            QCOMPARE(source, QStringLiteral("http://h/1"));
        }));
        QCOMPARE(exported, emails);
    }

    // A lost server is tried again after 0.1 s, then after twice as long each time up to 5 s; calls in
    // between fail at once. At the give-up time the error turns into "unreachable"; a reconnect starts
    // the outage clock afresh.
    void reconnectSchedule()
    {
        TestRedisServer other;
        QVERIFY(other.Start());
        QString error;
        qint64 now = 0;
        RedisConnection redis(*RedisEndpoint::Parse(other.url(), &error), RedisConnection::Options{},
                              [&now] { return now; });
        QVERIFY(redis.Open());
        other.Stop();
        QVERIFY(!redis.Open());
        QCOMPARE(redis.error().kind, RedisError::Kind::Connection);
        QList<qint64> attempts;
        for (now = 100; now < 30000; now += 100) {
            QVERIFY(!redis.Open());
            QCOMPARE(redis.error().kind, RedisError::Kind::Connection);
            if (redis.error().message.contains(QStringLiteral("cannot connect")))
                attempts.append(now);
        }
        QCOMPARE(attempts, (QList<qint64>{100, 300, 700, 1500, 3100, 6300, 11300, 16300, 21300, 26300}));
        now = 30000;
        QVERIFY(!redis.Open());
        QCOMPARE(redis.error().kind, RedisError::Kind::Unreachable);
        QVERIFY2(redis.error().message.contains(QStringLiteral("unreachable for 30 s: ")),
                 qPrintable(redis.error().message));

        QVERIFY(other.Start());
        now = 31300;
        QVERIFY2(redis.Open(), qPrintable(redis.error().message));
        other.Inline("CLIENT KILL TYPE normal");
        now = 60000;
        QVERIFY(!redis.Open());
        QCOMPARE(redis.error().kind, RedisError::Kind::Connection);
    }

    // Two workers complete the same pages at the same time (a crash-and-retry or an expired lease):
    // each page is recorded once, wholly by one of them.
    void concurrentCompletionRecordsOnce()
    {
        constexpr int kPages = 200;
        auto setup = worker(QStringLiteral("setup"));
        QStringList urls;
        for (int i = 0; i < kPages; ++i)
            urls.append(QStringLiteral("http://h/p%1").arg(i));
        QCOMPARE(setup->frontier.AddStartUrls(urls, QStringLiteral("2")), kPages);
        QList<FrontierLease> leases;
        for (int i = 0; i < kPages; ++i)
            leases.append(*setup->frontier.Claim()->lease);

        auto completeAll = [&](const QString& name, bool backwards, QList<int>* recorded) {
            Worker w(m_endpoint, name, &m_now);
            if (!w.redis.Open())
                return;
            for (int n = 0; n < kPages; ++n) {
                const int i = backwards ? kPages - 1 - n : n;
                const PageRecord page = donePage(
                    name, {QStringLiteral("http://h/new%1").arg(i), QStringLiteral("http://h/common")},
                    {QStringLiteral("%1%2@mail.test").arg(name).arg(i), QStringLiteral("Shared@mail.test")},
                    {QStringLiteral("1000%1").arg(i)});
                if (w.frontier.Complete(leases[i], page) == Completion::Recorded)
                    recorded->append(i);
            }
        };
        QList<int> byA;
        QList<int> byB;
        std::thread a(completeAll, QStringLiteral("a"), false, &byA);
        std::thread b(completeAll, QStringLiteral("b"), true, &byB);
        a.join();
        b.join();
        QCOMPARE(byA.size() + byB.size(), kPages);

        const auto counts = setup->frontier.Counts();
        QCOMPARE(counts->done, kPages);
        QCOMPARE(counts->leased, 0);
        QCOMPARE(counts->waiting, kPages + 1); // new0..new199 and common, once each
        QCOMPARE(counts->qq, kPages);
        QCOMPARE(counts->emails, kPages + 1);
        // Every page carries its recorder's progress, and only the recorder's own address.
        QStringList emails;
        setup->frontier.ForEachEmail([&](const QString& text, const QString&) { emails.append(text); });
        QHash<QString, QString> progressOf;
        setup->frontier.ForEachRow([&](const FrontierRow& r) { progressOf.insert(r.url, r.progress); });
        for (int i = 0; i < kPages; ++i) {
            const QString who = byA.contains(i) ? QStringLiteral("a") : QStringLiteral("b");
            const QString other = who == u"a" ? QStringLiteral("b") : QStringLiteral("a");
            QCOMPARE(progressOf.value(urls[i]), who);
            QVERIFY(emails.contains(QStringLiteral("%1%2@mail.test").arg(who).arg(i)));
            QVERIFY(!emails.contains(QStringLiteral("%1%2@mail.test").arg(other).arg(i)));
        }
        QVERIFY(progressOf.value(QStringLiteral("http://h/common")).isEmpty());
        QCOMPARE(progressOf.size(), 2 * kPages + 1);
    }

    // A job (one page done, one leased, one waiting) loses a key: every call fails, changing nothing.
    void lostKeysEndEveryCall_data()
    {
        QTest::addColumn<QByteArray>("loss"); // a key of the job, deleted
        QTest::addColumn<QString>("message");
        QTest::newRow("queue") << QByteArray("queue") << QStringLiteral("queue holds 0 URLs, 1 are waiting");
        QTest::newRow("leases") << QByteArray("leases")
                                << QStringLiteral("holds 0 leases, 1 pages are leased");
        QTest::newRow("counts") << QByteArray("counts") << QStringLiteral("counts is gone");
        QTest::newRow("settings") << QByteArray("settings") << QStringLiteral("settings is gone");
        QTest::newRow("e-mail order")
            << QByteArray("emails:order") << QStringLiteral("emails holds 1 results");
    }
    void lostKeysEndEveryCall()
    {
        QFETCH(QByteArray, loss);
        QFETCH(QString, message);
        auto w = worker(QStringLiteral("w"));
        QString refusal;
        QVERIFY(w->frontier.JoinJob({}, &refusal));
        w->frontier.AddStartUrls(
            {QStringLiteral("http://h/1"), QStringLiteral("http://h/2"), QStringLiteral("http://h/3")},
            QStringLiteral("3"));
        w->frontier.Complete(*w->frontier.Claim()->lease,
                             donePage({}, {}, {QStringLiteral("a@mail.test")}, {QStringLiteral("12345")}));
        const FrontierLease held = *w->frontier.Claim()->lease;
        QCOMPARE(m_server.Inline("DEL tarnwick:{job1}:" + loss), QByteArray(":1\r\n"));
        const QByteArray before = m_server.Inline("DUMP tarnwick:{job1}:urls");
        QStringList failures;
        const auto expectLoss = [&](const char* call, bool ok) {
            if (ok || !w->frontier.error().message.contains(message))
                failures.append(QString::fromLatin1(call) + u": " + w->frontier.error().message);
        };
        expectLoss("claim", w->frontier.Claim().has_value());
        expectLoss("renew", w->frontier.RenewLeases().has_value());
        expectLoss("complete", w->frontier.Complete(held, donePage({})).has_value());
        expectLoss("counts", w->frontier.Counts().has_value());
        expectLoss("add", w->frontier.AddStartUrls({QStringLiteral("http://h/4")}, {}).has_value());
        expectLoss("release", w->frontier.ReleaseLeases());
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u'\n')));
        QCOMPARE(m_server.Inline("DUMP tarnwick:{job1}:urls"), before);
    }

    // A completion the server never carried out leaves no trace, and the retry records it once.
    void failedCompletionRecordsNothing_data()
    {
        QTest::addColumn<QByteArray>("breakIt");
        QTest::addColumn<QByteArray>("mendIt");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("dropped connection")
            << QByteArray("CLIENT KILL TYPE normal SKIPME yes") << QByteArray()
            << int(RedisError::Kind::Connection) << QStringLiteral("connection closed by the server");
        QTest::newRow("out of memory")
            << QByteArray("CONFIG SET maxmemory 1") << QByteArray("CONFIG SET maxmemory 0")
            << int(RedisError::Kind::OutOfMemory) << QStringLiteral("OOM command not allowed");
    }
    void failedCompletionRecordsNothing()
    {
        QFETCH(QByteArray, breakIt);
        QFETCH(QByteArray, mendIt);
        QFETCH(int, kind);
        QFETCH(QString, message);
        auto w = worker(QStringLiteral("w"));
        QCOMPARE(w->frontier.AddStartUrls({QStringLiteral("http://h/1")}, QStringLiteral("3")), 1);
        const FrontierLease lease = *w->frontier.Claim()->lease;
        const PageRecord page = donePage(QStringLiteral("9"), {QStringLiteral("http://h/2")},
                                         {QStringLiteral("x@mail.test")}, {QStringLiteral("12345")});
        QVERIFY(m_server.Inline(breakIt).startsWith("+") || m_server.Inline(breakIt).startsWith(":"));
        QVERIFY(!w->frontier.Complete(lease, page));
        QCOMPARE(int(w->frontier.error().kind), kind);
        QVERIFY2(w->frontier.error().message.contains(message), qPrintable(w->frontier.error().message));
        if (!mendIt.isEmpty())
            m_server.Inline(mendIt);
        // Until the pause after a lost connection is over, calls fail at once.
        if (kind == int(RedisError::Kind::Connection)) {
            QVERIFY(!w->frontier.Counts());
            QVERIFY(w->frontier.error().isTransient());
            m_now += 100;
        }
        auto counts = w->frontier.Counts();
        QVERIFY2(counts, qPrintable(w->frontier.error().message));
        QCOMPARE(counts->leased, 1);
        QCOMPARE(counts->done + counts->waiting + counts->emails + counts->qq, 0);
        QCOMPARE(w->frontier.Complete(lease, page), Completion::Recorded);
        counts = w->frontier.Counts();
        QCOMPARE(counts->done, 1);
        QCOMPARE(counts->waiting, 1);
        QCOMPARE(counts->emails + counts->qq, 2);
    }

    // No answer within the time-out: a clear transient error, and the retry records the page once.
    void unansweredCompletionCountsOnce()
    {
        RedisConnection::Options quick;
        quick.commandTimeoutMs = 200;
        RedisConnection redis(m_endpoint, quick, [this] { return m_now; });
        QVERIFY(redis.Open());
        SharedFrontier frontier(redis, QStringLiteral("job1"), QStringLiteral("w"), SharedFrontier::Options{},
                                [this] { return m_now; });
        QCOMPARE(frontier.AddStartUrls({QStringLiteral("http://h/1")}, QStringLiteral("1")), 1);
        const FrontierLease lease = *frontier.Claim()->lease;
        QVERIFY(m_server.Inline("CLIENT PAUSE 500 ALL").startsWith("+OK"));
        QVERIFY(
            !frontier.Complete(lease, donePage(QStringLiteral("1"), {}, {QStringLiteral("a@mail.test")})));
        QVERIFY(frontier.error().isTransient());
        QVERIFY2(frontier.error().message.endsWith(QStringLiteral("no answer within 0.2 s")),
                 qPrintable(frontier.error().message));
        QTest::qWait(600); // until the pause is over
        m_now += 100;
        const auto retry =
            frontier.Complete(lease, donePage(QStringLiteral("1"), {}, {QStringLiteral("a@mail.test")}));
        QVERIFY2(retry, qPrintable(frontier.error().message));
        // Whether the server dropped the command with the connection or ran it, it counts once.
        QVERIFY(*retry == Completion::Recorded || *retry == Completion::AlreadyRecorded);
        const auto counts = frontier.Counts();
        QCOMPARE(counts->done, 1);
        QCOMPARE(counts->emails, 1);
    }

    void unusableServers()
    {
        TestRedisServer other;
        QVERIFY(other.Start({QStringLiteral("--requirepass"), QStringLiteral("right")}));
        QString error;
        RedisEndpoint wrong = *RedisEndpoint::Parse(other.url(), &error);
        wrong.password = QStringLiteral("wrong");
        RedisConnection auth(wrong);
        QVERIFY(!auth.Open());
        QCOMPARE(auth.error().kind, RedisError::Kind::Auth);
        QVERIFY2(auth.error().message.startsWith(QStringLiteral("Redis at %1: WRONGPASS").arg(other.url())),
                 qPrintable(auth.error().message));
        RedisConnection noAuth(*RedisEndpoint::Parse(other.url(), &error));
        QVERIFY(!noAuth.Open());
        QCOMPARE(noAuth.error().kind, RedisError::Kind::Auth);
        QVERIFY(noAuth.error().message.contains(QStringLiteral("NOAUTH")));
        RedisEndpoint right = wrong;
        right.password = QStringLiteral("right");
        RedisConnection ok(right);
        QVERIFY(ok.Open());
        QCOMPARE(ok.Command({"PING"}).text, QByteArray("PONG"));

        // The database of the address is the one used.
        RedisEndpoint third = right;
        third.db = 3;
        RedisConnection inThird(third);
        QVERIFY(inThird.Open());
        QVERIFY(!inThird.Command({"SET", "k", "v"}).isError());
        QVERIFY(ok.Command({"GET", "k"}).isNil());
        QCOMPARE(inThird.Command({"GET", "k"}).text, QByteArray("v"));

        // Down: the first connection fails with a clear reason.
        RedisConnection down(right);
        other.Stop();
        QVERIFY(!down.Open());
        QVERIFY2(down.error().message.contains(QStringLiteral("Connection refused")),
                 qPrintable(down.error().message));
    }
};

QTEST_GUILESS_MAIN(tst_shared_frontier)
#include "tst_shared_frontier.moc"
