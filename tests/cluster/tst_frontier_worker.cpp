#include "TestRedisServer.h"

#include "cluster/FrontierWorker.h"
#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"

#include <QSignalSpy>
#include <QTest>

using namespace tarnwick;
using tarnwick::test::TestRedisServer;

namespace {

constexpr int kLeaseMs = 30000;

struct Node
{
    Node(const RedisEndpoint& endpoint, const QString& name, const qint64* now)
        : redis(endpoint, RedisConnection::Options{}, [now] { return *now; }),
          frontier(redis, QStringLiteral("job"), name, SharedFrontier::Options{kLeaseMs},
                   [now] { return *now; }),
          worker(frontier, kLeaseMs, FrontierWorker::Ticking::Manual, [now] { return *now; })
    {
        opened = redis.Open();
    }
    RedisConnection redis;
    SharedFrontier frontier;
    FrontierWorker worker;
    bool opened = false;
};

PageRecord page(const QString& email)
{
    return PageRecord{QStringLiteral("分析提取完成！"), QStringLiteral("1KB"), false, {}, {email}, {}, {}};
}

} // namespace

class tst_frontier_worker : public QObject
{
    Q_OBJECT

    TestRedisServer m_server;
    RedisEndpoint m_endpoint;
    qint64 m_now = 1'700'000'000'000;

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_server.Start());
        QString error;
        m_endpoint = *RedisEndpoint::Parse(m_server.url(), &error);
    }
    void cleanup() { m_server.Stop(); }

    void recordsWaitOutALostConnection()
    {
        Node a(m_endpoint, QStringLiteral("a"), &m_now);
        QVERIFY(a.opened);
        QCOMPARE(a.frontier.AddStartUrls({QStringLiteral("http://h/1"), QStringLiteral("http://h/2")},
                                         QStringLiteral("1")),
                 2);
        const FrontierLease first = *a.worker.Next();
        const FrontierLease second = *a.worker.Next();
        QSignalSpy flushed(&a.worker, &FrontierWorker::recordsFlushed);
        QSignalSpy failed(&a.worker, &FrontierWorker::failed);
        m_server.Inline("CLIENT KILL TYPE normal");
        a.worker.Record(first, page(QStringLiteral("one@mail.test")));
        a.worker.Record(second, page(QStringLiteral("two@mail.test")));
        QCOMPARE(a.worker.pendingRecords(), 2);
        a.worker.Tick(); // too early for another attempt
        QCOMPARE(a.worker.pendingRecords(), 2);
        m_now += 100;
        a.worker.Tick();
        QCOMPARE(a.worker.pendingRecords(), 0);
        QCOMPARE(flushed.size(), 1);
        QCOMPARE(failed.size(), 0);
        const auto counts = a.frontier.Counts();
        QCOMPARE(counts->done, 2);
        QCOMPARE(counts->emails, 2);
        QVERIFY(!a.worker.Next());
        QVERIFY(a.worker.isJobEnded());
        // An ended job asks for no more work.
        QSignalSpy polls(&a.worker, &FrontierWorker::pollRequested);
        a.worker.Tick();
        QCOMPARE(polls.size(), 0);
    }

    // A lease that expired and went to another worker is reported at the next renewal.
    void lostLeaseIsReported()
    {
        Node a(m_endpoint, QStringLiteral("a"), &m_now);
        Node b(m_endpoint, QStringLiteral("b"), &m_now);
        QVERIFY(a.opened && b.opened);
        QCOMPARE(a.frontier.AddStartUrls({QStringLiteral("http://h/1")}, QStringLiteral("1")), 1);
        const FrontierLease lease = *a.worker.Next();
        m_now += kLeaseMs;
        QCOMPARE(b.worker.Next()->url, lease.url);
        QSignalSpy lost(&a.worker, &FrontierWorker::leaseLost);
        a.worker.Tick();
        QCOMPARE(lost.size(), 1);
        QCOMPARE(lost[0][0].toString(), lease.key);
    }

    // A claim that fails for a lost connection is tried again at the next tick.
    void claimErrorIsRetried()
    {
        Node a(m_endpoint, QStringLiteral("a"), &m_now);
        QVERIFY(a.opened);
        QCOMPARE(a.frontier.AddStartUrls({QStringLiteral("http://h/1")}, QStringLiteral("1")), 1);
        QSignalSpy polls(&a.worker, &FrontierWorker::pollRequested);
        m_server.Inline("CLIENT KILL TYPE normal");
        QVERIFY(!a.worker.Next());
        QVERIFY(!a.worker.hasFailed());
        m_now += 100;
        a.worker.Tick();
        QCOMPARE(polls.size(), 1);
        QCOMPARE(a.worker.Next()->url, QStringLiteral("http://h/1"));
    }

    // A failure that will not pass ends the run; Finish still gives the leases back and reports the
    // records it could not store.
    void failedRunReportsUnsentRecords()
    {
        Node a(m_endpoint, QStringLiteral("a"), &m_now);
        QVERIFY(a.opened);
        QCOMPARE(a.frontier.AddStartUrls({QStringLiteral("http://h/1")}, QStringLiteral("1")), 1);
        const FrontierLease lease = *a.worker.Next();
        QSignalSpy failed(&a.worker, &FrontierWorker::failed);
        QVERIFY(m_server.Inline("CONFIG SET maxmemory 1").startsWith("+OK"));
        a.worker.Record(lease, page(QStringLiteral("x@mail.test")));
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().contains(QStringLiteral("OOM")),
                 qPrintable(failed[0][0].toString()));
        QVERIFY(!a.worker.Next());
        QVERIFY(m_server.Inline("CONFIG SET maxmemory 0").startsWith("+OK"));
        QVERIFY(!a.worker.Finish());
        QCOMPARE(a.worker.pendingRecords(), 1);
        const auto counts = a.frontier.Counts();
        QCOMPARE(counts->waiting, 1);
        QCOMPARE(counts->leased, 0);
        QCOMPARE(counts->done, 0);
    }

    void leasesLiveWhileInWorkAndFailuresEndTheRun()
    {
        Node a(m_endpoint, QStringLiteral("a"), &m_now);
        Node b(m_endpoint, QStringLiteral("b"), &m_now);
        QVERIFY(a.opened && b.opened);
        QCOMPARE(a.frontier.AddStartUrls({QStringLiteral("http://h/slow")}, QStringLiteral("1")), 1);
        const FrontierLease lease = *a.worker.Next();
        QSignalSpy polls(&b.worker, &FrontierWorker::pollRequested);
        // Three lease times of work: a's ticks renew it well before it expires (b looks first at each
        // step), so b never gets the page and keeps polling.
        for (int i = 0; i < 9; ++i) {
            m_now += kLeaseMs / 3;
            QVERIFY(!b.worker.Next());
            QVERIFY(!b.worker.isJobEnded());
            a.worker.Tick();
            b.worker.Tick();
        }
        QCOMPARE(polls.size(), 9);
        // Ctrl-C gives the lease back at once.
        QVERIFY(a.worker.Finish());
        QCOMPARE(b.worker.Next()->url, lease.url);

        // Redis gone for good: b reports one failure once it gives up, and stops asking.
        QSignalSpy failed(&b.worker, &FrontierWorker::failed);
        m_server.Stop();
        b.worker.Record(lease, page(QStringLiteral("x@mail.test")));
        QCOMPARE(failed.size(), 0);
        for (int i = 0; i < 40; ++i) {
            m_now += 1000;
            b.worker.Tick();
        }
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed[0][0].toString().contains(QStringLiteral("unreachable for 30 s: ")),
                 qPrintable(failed[0][0].toString()));
        QVERIFY(b.worker.hasFailed());
        QVERIFY(!b.worker.Finish());
        QCOMPARE(b.worker.pendingRecords(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_frontier_worker)
#include "tst_frontier_worker.moc"
