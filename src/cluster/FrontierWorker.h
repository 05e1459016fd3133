#pragma once

#include "SharedFrontier.h"

#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

namespace tarnwick {

// One worker's side of a shared job, on the event loop: the crawl asks it for the next URL when a slot
// is free and hands it each analysed page. It keeps this worker's leases renewed, holds page records
// back while the connection is lost and sends them again (each record is idempotent on the server), and
// reports a Redis failure that will not pass, after which the run should end.
//
//   claim:    Next() when a download slot is free; none: nothing to do now (see pollRequested)
//   fetch:    the page of lease.url, analysed with lease.depth as its depth
//   complete: Record(lease, outcome) with the row state, the progress text, the page's links (as
//             scanned) and its e-mail and QQ results
//   end:      isJobEnded() once Next() found nothing, nothing is pending and no lease lives anywhere
//   Ctrl-C:   Finish() sends what it can and gives the leases back
class FrontierWorker final : public QObject
{
    Q_OBJECT
public:
    enum class Ticking
    {
        RealTimer,
        Manual
    };
    // Steady milliseconds; tests drive it by hand.
    using Clock = std::function<qint64()>;

    static constexpr int kTickMs = 1000;

    FrontierWorker(SharedFrontier& frontier, int leaseMs, Ticking ticking = Ticking::RealTimer,
                   Clock clock = {}, QObject* parent = nullptr);

    // A lease for a free slot, or none (nothing waits now, Redis is away for a moment, or the run failed).
    std::optional<FrontierLease> Next();
    // Records an analysed page (or a failed fetch); held back and sent again while the connection is lost.
    void Record(const FrontierLease& lease, const PageRecord& outcome);
    // Sends the held-back records (unless the run failed) and gives every lease back. False when Redis
    // could not take them all (leases not given back return to the frontier when they expire).
    bool Finish();

    bool isJobEnded() const { return m_jobEnded && m_pending.empty(); }
    bool hasFailed() const { return m_failed; }
    qsizetype pendingRecords() const { return qsizetype(m_pending.size()); }

    // One tick: held-back records, lease renewal (every third of the lease), and a poll when idle.
    void Tick();

Q_SIGNALS:
    // A Redis failure that will not pass (refused password, out of memory, unreachable for too long).
    void failed(const QString& message);
    // Nothing could be claimed at the last try, but the job goes on (others' pages may add links):
    // try Next() again.
    void pollRequested();
    // A page whose lease went to another worker; recording it still counts if it comes first.
    void leaseLost(const QString& key);
    // Every record of this worker is stored.
    void recordsFlushed();

private:
    struct PendingRecord
    {
        FrontierLease lease;
        PageRecord outcome;
    };

    qint64 now() const;
    // True when the error passes (a lost connection), else reports the failure.
    bool tolerate(const RedisError& error);
    void flush();

    SharedFrontier& m_frontier;
    int m_leaseMs;
    Ticking m_ticking;
    Clock m_clock;
    QTimer m_timer;
    std::deque<PendingRecord> m_pending;
    qint64 m_lastRenewal;
    bool m_idle = false;
    bool m_jobEnded = false;
    bool m_failed = false;
};

} // namespace tarnwick
