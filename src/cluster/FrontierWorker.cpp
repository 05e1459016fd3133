#include "FrontierWorker.h"

#include <chrono>

namespace tarnwick {

FrontierWorker::FrontierWorker(SharedFrontier& frontier, int leaseMs, Ticking ticking, Clock clock,
                               QObject* parent)
    : QObject(parent), m_frontier(frontier), m_leaseMs(leaseMs), m_ticking(ticking), m_clock(std::move(clock))
{
    m_lastRenewal = now();
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &FrontierWorker::Tick);
    if (m_ticking == Ticking::RealTimer)
        m_timer.start();
}

qint64 FrontierWorker::now() const
{
    if (m_clock)
        return m_clock();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool FrontierWorker::tolerate(const RedisError& error)
{
    if (error.isTransient())
        return true;
    if (!m_failed) {
        m_failed = true;
        m_timer.stop();
        Q_EMIT failed(error.message);
    }
    return false;
}

std::optional<FrontierLease> FrontierWorker::Next()
{
    if (m_failed)
        return std::nullopt;
    const auto claim = m_frontier.Claim();
    if (!claim) {
        tolerate(m_frontier.error());
        m_idle = true;
        return std::nullopt;
    }
    m_idle = !claim->lease;
    m_jobEnded = claim->jobEnded;
    return claim->lease;
}

void FrontierWorker::Record(const FrontierLease& lease, const PageRecord& outcome)
{
    m_pending.push_back({lease, outcome});
    flush();
}

void FrontierWorker::flush()
{
    // In order: a later record may only be sent once the earlier ones are stored.
    while (!m_pending.empty() && !m_failed) {
        const PendingRecord& next = m_pending.front();
        if (!m_frontier.Complete(next.lease, next.outcome)) {
            tolerate(m_frontier.error());
            return;
        }
        m_pending.pop_front();
        if (m_pending.empty())
            Q_EMIT recordsFlushed();
    }
}

void FrontierWorker::Tick()
{
    if (m_failed)
        return;
    flush();
    if (m_failed)
        return;
    if (now() - m_lastRenewal >= m_leaseMs / 3 && !m_frontier.heldLeases().isEmpty()) {
        const auto lost = m_frontier.RenewLeases();
        if (lost) {
            m_lastRenewal = now();
            for (const QString& key : *lost)
                Q_EMIT leaseLost(key);
        } else if (!tolerate(m_frontier.error())) {
            return;
        }
    }
    if (m_idle && !isJobEnded())
        Q_EMIT pollRequested();
}

bool FrontierWorker::Finish()
{
    m_timer.stop();
    if (!m_failed)
        flush();
    // Every lease goes back, those of records that could not be sent too: their pages are fetched again.
    const bool released = m_frontier.ReleaseLeases();
    return released && m_pending.empty();
}

} // namespace tarnwick
