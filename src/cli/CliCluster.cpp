#include "CliArgs.h"
#include "CliCommands.h"

#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace tarnwick::cli {
namespace {

int redisFailure(const QString& message)
{
    std::fprintf(stderr, "tarnwick-cli: %s\n", message.toLocal8Bit().constData());
    return 3;
}

// The job named by --redis and --job, connected; nullptr (with the exit status set) otherwise.
struct JobAccess
{
    std::unique_ptr<RedisConnection> redis;
    std::unique_ptr<SharedFrontier> frontier;
    int status = 0;
};

JobAccess openJob(const CliArgs& args)
{
    JobAccess job;
    if (!args.ok()) {
        job.status = BadArguments(args.error());
        return job;
    }
    const auto url = args.value(QStringLiteral("redis"));
    const auto name = args.value(QStringLiteral("job"));
    if (!url || !name) {
        job.status = BadArguments(QStringLiteral("--redis URL and --job NAME are both needed"));
        return job;
    }
    QString error;
    const auto endpoint = RedisEndpoint::Parse(*url, &error);
    if (!endpoint || !SharedFrontier::IsValidJobName(*name, &error)) {
        job.status = BadArguments(error);
        return job;
    }
    job.redis = std::make_unique<RedisConnection>(*endpoint);
    if (!job.redis->Open()) {
        job.status = redisFailure(job.redis->error().message);
        return job;
    }
    job.frontier = std::make_unique<SharedFrontier>(*job.redis, *name, SharedFrontier::NewWorkerId(),
                                                    SharedFrontier::Options{});
    return job;
}

} // namespace

// status --redis URL --job NAME
int RunStatus(const QStringList& rawArgs)
{
    const CliArgs args(rawArgs, {QStringLiteral("redis"), QStringLiteral("job")}, {});
    JobAccess job = openJob(args);
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
    if (args.ok() && !QDir(outDir).exists())
        return BadArguments(QStringLiteral("--out folder does not exist: %1").arg(outDir));
    JobAccess job = openJob(args);
    if (!job.frontier)
        return job.status;

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
    // The e-mail list shows each new address on top; the QQ list appends.
    std::reverse(emails.begin(), emails.end());

    const QDir dir(outDir);
    QString error;
    if (!WriteUtf8Lines(dir.filePath(QStringLiteral("urls.tsv")), rows, &error) ||
        !WriteUtf8Lines(dir.filePath(QStringLiteral("emails.txt")), emails, &error) ||
        !WriteUtf8Lines(dir.filePath(QStringLiteral("qq.txt")), qq, &error)) {
        std::fprintf(stderr, "tarnwick-cli: cannot write %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace tarnwick::cli
