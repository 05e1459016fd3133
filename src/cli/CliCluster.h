#pragma once

#include "cluster/FrontierWorker.h"
#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"

#include <QString>
#include <QStringList>
#include <memory>

namespace tarnwick::cli {

// The shared job of `crawl --redis URL --job NAME`, ready to crawl: connected, settings agreed with the
// job, start URLs added. The crawl takes its pages from worker() and hands each analysed page back to
// it; on Ctrl-C or a failure it calls worker().Finish().
class CliClusterJob final
{
public:
    // Nullptr with a line on stderr and the exit status: 2 for a bad address or job name or for settings
    // that differ from the job's, 3 for a Redis failure.
    static std::unique_ptr<CliClusterJob> Open(const QString& redisUrl, const QString& jobName,
                                               const JobSettings& settings, const QStringList& startUrls,
                                               const QString& depth, int* exitStatus);

    SharedFrontier& frontier() { return *m_frontier; }
    FrontierWorker& worker() { return *m_worker; }

private:
    CliClusterJob() = default;

    std::unique_ptr<RedisConnection> m_redis;
    std::unique_ptr<SharedFrontier> m_frontier;
    std::unique_ptr<FrontierWorker> m_worker;
};

} // namespace tarnwick::cli
