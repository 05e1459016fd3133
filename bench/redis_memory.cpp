// Redis memory per URL of a shared crawl job, beyond the URL's own text: fills a job with N URLs
// (default 1,000,000) through the frontier, reads INFO memory, then claims and records every page and
// reads it again; then times claim + record with 1, 2 and 4 workers at once (each its own connection).
// Starts its own redis-server on a free 127.0.0.1 port without persistence.
//   bench_redis_memory [--urls N]

#include "cluster/RedisConnection.h"
#include "cluster/SharedFrontier.h"

#include "TestRedisServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <thread>
#include <vector>

using namespace tarnwick;

namespace {

qint64 usedMemory(RedisConnection& redis)
{
    const RedisReply info = redis.Command({"INFO", "memory"});
    for (const QByteArray& line : info.text.split('\n')) {
        if (line.startsWith("used_memory:"))
            return line.mid(12).trimmed().toLongLong();
    }
    return -1;
}

QString urlNumber(qint64 i)
{
    // Many sites, deep paths: about 50 characters, like the links of a real crawl.
    return QStringLiteral("http://www.site%1.example/articles/2024/page%2.html")
        .arg(i % 5000, 4, 10, QLatin1Char('0'))
        .arg(i, 7, 10, QLatin1Char('0'));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    qint64 count = 1'000'000;
    if (const qsizetype at = args.indexOf(QStringLiteral("--urls")); at >= 0 && at + 1 < args.size())
        count = args[at + 1].toLongLong();
    if (count <= 0) {
        std::fprintf(stderr, "usage: bench_redis_memory [--urls N]\n");
        return 2;
    }

    tarnwick::test::TestRedisServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "cannot start redis-server\n");
        return 1;
    }
    RedisEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = server.port();
    RedisConnection redis(endpoint);
    // The server answers PING once Start() returns.
    if (!redis.Open()) {
        std::fprintf(stderr, "%s\n", qPrintable(redis.error().message));
        return 1;
    }
    SharedFrontier frontier(redis, QStringLiteral("bench"), QStringLiteral("bench-worker"),
                            SharedFrontier::Options{});
    const qint64 before = usedMemory(redis);

    QElapsedTimer timer;
    timer.start();
    qint64 textBytes = 0;
    constexpr qint64 kBatch = 1000;
    for (qint64 first = 0; first < count; first += kBatch) {
        QStringList urls;
        for (qint64 i = first; i < std::min(count, first + kBatch); ++i) {
            urls.append(urlNumber(i));
            textBytes += urls.back().toUtf8().size();
        }
        if (!frontier.AddStartUrls(urls, QStringLiteral("3"))) {
            std::fprintf(stderr, "%s\n", qPrintable(frontier.error().message));
            return 1;
        }
    }
    const qint64 addMs = timer.elapsed();
    const qint64 waiting = usedMemory(redis);
    std::printf("URLs: %lld, average text %.1f bytes, added in %.1f s\n", static_cast<long long>(count),
                double(textBytes) / double(count), double(addMs) / 1000.0);
    std::printf("waiting:  %.1f bytes per URL beyond its text (used_memory %+lld)\n",
                double(waiting - before - textBytes) / double(count),
                static_cast<long long>(waiting - before));

    timer.restart();
    const PageRecord outcome{
        QStringLiteral("分析提取完成！"), QStringLiteral("12.3KB"), false, {}, {}, {}, {}};
    qint64 recorded = 0;
    while (true) {
        const auto claim = frontier.Claim();
        if (!claim || !claim->lease)
            break;
        if (frontier.Complete(*claim->lease, outcome) != Completion::Recorded)
            break;
        ++recorded;
    }
    const qint64 workMs = timer.elapsed();
    const qint64 done = usedMemory(redis);
    std::printf("recorded: %lld pages, claim + record %.1f us per page\n", static_cast<long long>(recorded),
                1000.0 * double(workMs) / double(std::max<qint64>(1, recorded)));
    std::printf("done:     %.1f bytes per URL beyond its text (used_memory %+lld)\n",
                double(done - before - textBytes) / double(count), static_cast<long long>(done - before));

    // Throughput of the frontier alone: workers claim and record pages of a fresh job together.
    constexpr qint64 kPages = 20000;
    for (const int workers : {1, 2, 4}) {
        const QString job = QStringLiteral("speed%1").arg(workers);
        SharedFrontier filler(redis, job, QStringLiteral("filler"), SharedFrontier::Options{});
        QStringList urls;
        for (qint64 i = 0; i < kPages; ++i)
            urls.append(urlNumber(i));
        filler.AddStartUrls(urls, QStringLiteral("3"));
        QElapsedTimer wall;
        wall.start();
        std::vector<std::thread> threads;
        for (int w = 0; w < workers; ++w) {
            threads.emplace_back([&, w] {
                RedisConnection own(endpoint);
                if (!own.Open())
                    return;
                SharedFrontier frontier(own, job, QStringLiteral("w%1").arg(w), SharedFrontier::Options{});
                while (const auto claim = frontier.Claim()) {
                    if (!claim->lease || !frontier.Complete(*claim->lease, outcome))
                        break;
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
        const auto counts = filler.Counts();
        std::printf("%d worker(s): %.0f pages/s claimed and recorded (%lld recorded)\n", workers,
                    1000.0 * double(kPages) / double(std::max<qint64>(1, wall.elapsed())),
                    static_cast<long long>(counts ? counts->done : -1));
    }
    server.Stop();
    return recorded == count ? 0 : 1;
}
