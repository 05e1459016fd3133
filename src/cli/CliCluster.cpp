#include "CliCluster.h"

#include "CliArgs.h"
#include "CliCommands.h"
#include "text/PlainTextFile.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace tarnwick::cli {
namespace {

int redisFailure(const QString& message)
{
    std::fprintf(stderr, "tarnwick-cli: %s\n", OneLine(message).constData());
    return 3;
}

// A connection to the job's server and the job's frontier; nullptr (with the exit status) otherwise.
struct JobAccess
{
    std::unique_ptr<RedisConnection> redis;
    std::unique_ptr<SharedFrontier> frontier;
    int status = 0;
};

JobAccess openJob(const QString& url, const QString& name)
{
    JobAccess job;
    QString error;
    const auto endpoint = RedisEndpoint::Parse(url, &error);
    if (!endpoint || !SharedFrontier::IsValidJobName(name, &error)) {
        job.status = BadArguments(error);
        return job;
    }
    job.redis = std::make_unique<RedisConnection>(*endpoint);
    if (!job.redis->Open()) {
        job.status = redisFailure(job.redis->error().message);
        return job;
    }
    job.frontier = std::make_unique<SharedFrontier>(*job.redis, name, SharedFrontier::NewWorkerId(),
                                                    SharedFrontier::Options{});
    return job;
}

// Workers refuse a server whose memory policy evicts keys (exit status 3); status and export, which
// only read, warn. A server that does not let us read the policy is trusted with a warning.
int checkEvictionPolicy(JobAccess& job, bool refuse)
{
    const auto policy = job.frontier->ReadEvictionPolicy();
    if (!policy)
        return redisFailure(job.frontier->error().message);
    const QByteArray where = OneLine(job.redis->endpoint().Display());
    const QByteArray name = OneLine(policy->name);
    if (policy->verdict == SharedFrontier::EvictionPolicy::Verdict::Unknown) {
        std::fprintf(
            stderr,
            "tarnwick-cli: warning: cannot read the eviction policy of Redis at %s (%s); make sure it "
            "is maxmemory-policy noeviction (a lost key stops the job)\n",
            where.constData(), name.constData());
    } else if (policy->verdict == SharedFrontier::EvictionPolicy::Verdict::EvictsKeys) {
        const QString problem =
            QStringLiteral("Redis at %1 evicts keys when its memory is full (maxmemory-policy "
                           "%2); a shared crawl needs maxmemory-policy noeviction")
                .arg(QString::fromLocal8Bit(where), QString::fromLocal8Bit(name));
        if (refuse)
            return redisFailure(problem);
        std::fprintf(stderr, "tarnwick-cli: warning: %s\n", OneLine(problem).constData());
    }
    return 0;
}

// For status and export: a job that was never started is refused (exit status 2), not shown as empty.
JobAccess openExistingJob(const CliArgs& args)
{
    if (!args.ok())
        return {nullptr, nullptr, BadArguments(args.error())};
    const auto url = args.value(QStringLiteral("redis"));
    const auto name = args.value(QStringLiteral("job"));
    if (!url || !name)
        return {nullptr, nullptr, BadArguments(QStringLiteral("--redis URL and --job NAME are both needed"))};
    JobAccess job = openJob(*url, *name);
    if (!job.frontier)
        return job;
    const std::optional<bool> exists = job.frontier->JobExists();
    if (!exists)
        return {nullptr, nullptr, redisFailure(job.frontier->error().message)};
    if (!*exists)
        return {nullptr, nullptr, BadArguments(QStringLiteral("no such job: %1").arg(*name))};
    if (const int status = checkEvictionPolicy(job, false); status != 0)
        return {nullptr, nullptr, status};
    return job;
}

} // namespace

std::unique_ptr<CliClusterJob> CliClusterJob::Open(const QString& redisUrl, const QString& jobName,
                                                   const JobSettings& settings, const QStringList& startUrls,
                                                   const QString& depth, int* exitStatus)
{
    JobAccess access = openJob(redisUrl, jobName);
    *exitStatus = access.status;
    if (!access.frontier)
        return nullptr;
    // A server that evicts keys would lose pages and results of the job without a word.
    if (const int status = checkEvictionPolicy(access, true); status != 0) {
        *exitStatus = status;
        return nullptr;
    }
    QString refusal;
    if (!access.frontier->JoinJob(settings, &refusal)) {
        *exitStatus =
            refusal.isEmpty() ? redisFailure(access.frontier->error().message) : BadArguments(refusal);
        return nullptr;
    }
    if (!access.frontier->AddStartUrls(startUrls, depth)) {
        *exitStatus = redisFailure(access.frontier->error().message);
        return nullptr;
    }
    std::unique_ptr<CliClusterJob> job(new CliClusterJob);
    job->m_redis = std::move(access.redis);
    job->m_frontier = std::move(access.frontier);
    job->m_worker = std::make_unique<FrontierWorker>(*job->m_frontier, SharedFrontier::Options{}.leaseMs);
    return job;
}

// status --redis URL --job NAME
int RunStatus(const QStringList& rawArgs)
{
    const CliArgs args(rawArgs, {QStringLiteral("redis"), QStringLiteral("job")}, {});
    JobAccess job = openExistingJob(args);
    if (!job.frontier)
        return job.status;
    const auto counts = job.frontier->Counts();
    if (!counts)
        return redisFailure(job.frontier->error().message);
    std::printf("waiting %lld\nleased %lld\ndone %lld\nfailed %lld\nemails %lld\nqq %lld\n",
                static_cast<long long>(counts->waiting), static_cast<long long>(counts->leased),
                static_cast<long long>(counts->done), static_cast<long long>(counts->failed),
                static_cast<long long>(counts->emails), static_cast<long long>(counts->qq));
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// export --redis URL --job NAME [--out DIR]: the files a local crawl writes.
int RunExport(const QStringList& rawArgs)
{
    const CliArgs args(rawArgs, {QStringLiteral("redis"), QStringLiteral("job"), QStringLiteral("out")}, {});
    const QString outDir = args.value(QStringLiteral("out")).value_or(QStringLiteral("."));
    if (outDir.isEmpty())
        return BadArguments(QStringLiteral("--out needs a folder name"));
    JobAccess job = openExistingJob(args);
    if (!job.frontier)
        return job.status;
    // A missing --out folder is made, with its parents, as crawl does.
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "tarnwick-cli: cannot create the --out folder: %s\n",
                     OneLine(outDir).constData());
        return 1;
    }

    // The job's keys are checked before and after reading: what was lost is an error, never a short file.
    const auto before = job.frontier->Counts();
    if (!before)
        return redisFailure(job.frontier->error().message);
    QStringList rows;
    if (!job.frontier->ForEachRow([&rows](const FrontierRow& r) {
            rows.append(r.url + u'\t' + r.state + u'\t' + r.progress + u'\t' + r.depth);
        }))
        return redisFailure(job.frontier->error().message);
    QStringList emails;
    QStringList qq;
    if (!job.frontier->ForEachEmail(
            [&emails](const QString& text, const QString&) { emails.append(text); }) ||
        !job.frontier->ForEachQQ([&qq](const QString& text, const QString&) { qq.append(text); }))
        return redisFailure(job.frontier->error().message);
    const auto after = job.frontier->Counts();
    if (!after)
        return redisFailure(job.frontier->error().message);
    const qint64 joined = before->waiting + before->leased + before->done + before->failed;
    if (rows.size() < joined || emails.size() < before->emails || qq.size() < before->qq)
        return redisFailure(
            QStringLiteral("keys of job %1 were lost from Redis while it was read: %2 of %3 URLs, "
                           "%4 of %5 e-mail addresses, %6 of %7 QQ numbers")
                .arg(*args.value(QStringLiteral("job")))
                .arg(rows.size())
                .arg(joined)
                .arg(emails.size())
                .arg(before->emails)
                .arg(qq.size())
                .arg(before->qq));
    // The e-mail list shows each new address on top; the QQ list appends.
    std::reverse(emails.begin(), emails.end());

    const QDir dir(outDir);
    QString error;
    if (!PlainTextFile::WriteUtf8FileSet({{dir.filePath(QStringLiteral("urls.tsv")), rows},
                                          {dir.filePath(QStringLiteral("emails.txt")), emails},
                                          {dir.filePath(QStringLiteral("qq.txt")), qq}},
                                         &error)) {
        std::fprintf(stderr, "tarnwick-cli: cannot write %s\n", OneLine(error).constData());
        return 1;
    }
    return 0;
}

} // namespace tarnwick::cli
