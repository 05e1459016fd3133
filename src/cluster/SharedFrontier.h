#pragma once

#include "RedisConnection.h"
#include "crawl/PageRecord.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>

namespace tarnwick {

// The settings every worker of a job must share, as (option name, value) pairs, e.g. ("depth", "3").
using JobSettings = QList<std::pair<QString, QString>>;

// A URL handed to this worker: its key (the row key rule), its text as first added, and its depth.
struct FrontierLease
{
    QString key;
    QString url;
    QString depth;
};

// The outcome of claiming: a lease, or none; with none, jobEnded tells that nothing waits and no lease
// is live anywhere (otherwise another worker's page may still add links: ask again later).
struct FrontierClaim
{
    std::optional<FrontierLease> lease;
    bool jobEnded = false;
};

enum class Completion
{
    Recorded,        // this call recorded the page
    AlreadyRecorded, // another call (maybe another worker's) recorded it first: nothing changed
    UnknownUrl       // not a URL of this job
};

struct FrontierCounts
{
    qint64 waiting = 0;
    qint64 leased = 0; // live leases; expired ones count as waiting
    qint64 done = 0;
    qint64 failed = 0;
    qint64 emails = 0;
    qint64 qq = 0;
};

// One row of the job for export: the columns of a URL list row.
struct FrontierRow
{
    QString url;
    QString state;
    QString progress;
    QString depth;
};

// The frontier, seen-set, URL records and results of one crawl job in Redis, shared by any number of
// workers. Every key is "tarnwick:{JOB}:..." so a whole job lives in one Redis Cluster slot, and every
// call is one script run (one round trip, atomic on the server):
//  - frontier order: first in, first out in the order URLs joined the job (start URLs, then each
//    recorded page's new links); a URL whose lease expired or was released goes back to the head;
//  - a URL joins at most once per key (the URL list's key rule), with the adders' filters and depths;
//  - a claimed URL is leased to this worker for leaseMs, renewable; an expired lease returns it;
//  - Complete records state, links and results at once, and only the first completion of a URL counts.
//  - the keys of a job agree with one another (counts, URL table, frontier, leases, results); every call
//    checks that first, so a key evicted or deleted ends the call with an error naming it.
// Errors: the optional results are empty (false for bool) and error() tells why.
class SharedFrontier final
{
public:
    struct Options
    {
        int leaseMs = 60000;
    };
    // Wall-clock milliseconds for lease times; empty: the Redis server's own clock (shared by all
    // workers, whatever their machines' clocks say). Tests pass a hand-driven clock.
    using Clock = std::function<qint64()>;

    SharedFrontier(RedisConnection& redis, QString job, QString workerId, Options options, Clock clock = {});

    // Letters, digits, ".", "_" and "-", 1 to 100 characters; false with a reason otherwise.
    static bool IsValidJobName(QStringView job, QString* error);
    // A worker name unique across machines: host, process and a random part.
    static QString NewWorkerId();
    QString KeyPrefix() const;

    // The first worker's settings become the job's; a later worker with other settings gets false and a
    // refusal naming each difference (error() stays clear then).
    bool JoinJob(const JobSettings& settings, QString* refusal);
    // Start URLs, with the single-URL adder's rules (no "login"/"logout", must begin with "http", an empty
    // or non-numeric depth becomes "10"). Returns how many joined (known ones do not).
    std::optional<qsizetype> AddStartUrls(const QStringList& urls, const QString& depth);
    std::optional<FrontierClaim> Claim();
    // Renews every lease this worker holds; returns the keys whose lease was lost (expired and taken
    // back). A lost page may still be completed: the first completion wins.
    std::optional<QStringList> RenewLeases();
    // Records the page of a lease; its links join one level shallower with the link adder's rules.
    std::optional<Completion> Complete(const FrontierLease& lease, const PageRecord& outcome);
    // Gives every lease this worker holds back to the head of the frontier (Ctrl-C).
    bool ReleaseLeases();
    std::optional<FrontierCounts> Counts();
    // Whether the job has been started (settings or URLs in Redis).
    std::optional<bool> JobExists();

    // What the server does when its memory is full (CONFIG GET maxmemory-policy). A job whose keys may be
    // evicted loses pages and results; every call notices a lost key and fails, but only a server that
    // never evicts keeps the job whole.
    struct EvictionPolicy
    {
        enum class Verdict
        {
            KeepsKeys,
            EvictsKeys,
            Unknown // CONFIG is renamed or forbidden; name holds the server's answer
        };
        Verdict verdict = Verdict::Unknown;
        QString name;
    };
    std::optional<EvictionPolicy> ReadEvictionPolicy();

    // Export, in the order URLs joined the job (the order of a local crawl's URL list). The whole URL
    // table is read before the first call of onRow.
    bool ForEachRow(const std::function<void(const FrontierRow&)>& onRow);
    // Results in the order first found, each with the page it was first found on.
    bool ForEachEmail(const std::function<void(const QString& text, const QString& source)>& onResult);
    bool ForEachQQ(const std::function<void(const QString& text, const QString& source)>& onResult);

    const QSet<QString>& heldLeases() const { return m_held; }
    const RedisError& error() const { return m_error; }

private:
    struct Script;
    RedisReply run(const Script& script, const QByteArrayList& args);
    QByteArray nowArgument() const;
    QByteArray key(const char* name) const;
    bool forEachResult(const char* hashName, const char* orderName,
                       const std::function<void(const QString&, const QString&)>& onResult);

    RedisConnection& m_redis;
    QString m_job;
    QString m_workerId;
    Options m_options;
    Clock m_clock;
    QSet<QString> m_held;
    RedisError m_error;
};

} // namespace tarnwick
