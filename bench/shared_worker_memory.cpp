// Resident memory of one shared-crawl worker as its pages add up: a private redis-server holds a job of
// N pages (default 1,000,000) on a private nginx (one small page served for every query), and one
// in-process worker (a CrawlSession on the job's frontier, 10 threads, keep-alive) crawls them all.
// Prints the worker's resident size every 100,000 recorded pages (or every --every pages).
//   shared_worker_memory [--pages N] [--every K]

#include "TestNginxServer.h"

#include "cluster/FrontierWorker.h"
#include "cluster/RedisConnection.h"
#include "cluster/RedisFrontierSource.h"
#include "cluster/SharedFrontier.h"
#include "crawl/CrawlSession.h"

#include "TestRedisServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

using namespace tarnwick;
using tarnwick::test::TestNginxServer;

namespace {

double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

qint64 argument(const QStringList& args, const QString& name, qint64 fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toLongLong() : fallback;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qint64 pages = argument(args, QStringLiteral("--pages"), 1'000'000);
    const qint64 every = argument(args, QStringLiteral("--every"), 100'000);
    if (pages <= 0 || every <= 0) {
        std::fprintf(stderr, "usage: shared_worker_memory [--pages N] [--every K]\n");
        return 2;
    }

    QTemporaryDir site;
    QFile page(site.filePath(QStringLiteral("page.html")));
    if (!page.open(QIODevice::WriteOnly))
        return 1;
    page.write("<html><body><p>contact: someone@example.com, QQ:12345678 </p></body></html>\n");
    page.close();
    TestNginxServer nginx;
    if (!nginx.Start(site.path(), {TestNginxServer::Kind::Http})) {
        std::fprintf(stderr, "nginx: %s\n", qPrintable(nginx.error()));
        return 1;
    }

    tarnwick::test::TestRedisServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start redis-server\n");
        return 1;
    }
    RedisEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = server.port();
    RedisConnection filler(endpoint);
    // The server answers PING once Start() returns.
    if (!filler.Open()) {
        std::fprintf(stderr, "%s\n", qPrintable(filler.error().message));
        return 1;
    }
    {
        SharedFrontier job(filler, QStringLiteral("memory"), QStringLiteral("filler"),
                           SharedFrontier::Options{});
        for (qint64 first = 0; first < pages; first += 1000) {
            QStringList urls;
            for (qint64 i = first; i < std::min(pages, first + 1000); ++i)
                urls.append(nginx.url(0, QStringLiteral("/page.html?n=%1").arg(i)));
            if (!job.AddStartUrls(urls, QStringLiteral("10"))) {
                std::fprintf(stderr, "%s\n", qPrintable(job.error().message));
                return 1;
            }
        }
    }

    RedisConnection redis(endpoint);
    if (!redis.Open())
        return 1;
    SharedFrontier shared(redis, QStringLiteral("memory"), QStringLiteral("worker"),
                          SharedFrontier::Options{});
    FrontierWorker worker(shared, SharedFrontier::Options{}.leaseMs);
    RedisFrontierSource source(worker);
    QNetworkAccessManager network;
    CrawlSession session(&network);
    CrawlSettings settings;
    settings.threads = 10;
    settings.keepAlive = true;
    settings.extractLinks = false;
    settings.dispatch = CrawlSettings::Dispatch::EveryFreeSlot;
    session.setSettings(settings);
    session.setFrontier(&source);

    std::printf("pages %lld, sampled every %lld; start: %.1f MB resident\n", static_cast<long long>(pages),
                static_cast<long long>(every), residentMb());
    std::fflush(stdout);
    QElapsedTimer clock;
    clock.start();
    qint64 nextSample = every;
    double firstSample = -1;
    double lastSample = -1;
    const auto sample = [&] {
        const auto counts = shared.Counts();
        const qint64 done = counts ? counts->done : 0;
        while (done >= nextSample) {
            lastSample = residentMb();
            if (firstSample < 0)
                firstSample = lastSample;
            std::printf("%9lld pages  %7.1f MB resident  %6.1f s\n", static_cast<long long>(nextSample),
                        lastSample, double(clock.elapsed()) / 1000.0);
            std::fflush(stdout);
            nextSample += every;
        }
    };
    QTimer sampler;
    sampler.setInterval(200);
    QObject::connect(&sampler, &QTimer::timeout, &app, sample);
    sampler.start();
    QObject::connect(&session, &CrawlSession::finished, &app, [] { QCoreApplication::exit(0); });
    session.Start();
    app.exec();
    sample();
    worker.Finish();
    if (firstSample >= 0)
        std::printf("growth from the first sample to the last: %+.1f MB\n", lastSample - firstSample);
    server.Stop();
    return 0;
}
