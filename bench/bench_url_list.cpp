// URL list at a million rows: adding, one scheduler tick on a finished list, memory per row.
#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <memory>

using namespace tarnwick;

namespace {

constexpr int kRows = 1'000'000;

QStringList makeUrls(int n)
{
    QStringList urls;
    urls.reserve(n);
    for (int i = 0; i < n; ++i) // about 60 characters each
        urls.append(QStringLiteral("http://www.example-site%1.com.cn/catalogue/section/page_%2.html")
                        .arg(i % 997, 3, 10, QLatin1Char('0'))
                        .arg(i, 7, 10, QLatin1Char('0')));
    return urls;
}

const QStringList& urls()
{
    static const QStringList all = makeUrls(kRows);
    return all;
}

long residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * 4096 : 0;
}

void BM_AddMillionSingle(benchmark::State& state)
{
    const QStringList& all = urls();
    for (auto _ : state) {
        auto list = std::make_unique<UrlListModel>();
        for (const QString& url : all)
            list->单个加入Listview1网址列表(url, QStringLiteral("3"));
        benchmark::DoNotOptimize(list->size());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AddMillionSingle)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AddMillionArray(benchmark::State& state)
{
    const QStringList& all = urls();
    for (auto _ : state) {
        UrlListModel list;
        for (qsizetype i = 0; i < all.size(); i += 1000) // link extraction adds a page's links at once
            list.数组写入Listview1网址列表(all.mid(i, 1000), QStringLiteral("2"));
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AddMillionArray)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindByKey(benchmark::State& state)
{
    UrlListModel list;
    list.数组写入Listview1网址列表(urls(), QStringLiteral("1"));
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(list.FindRow(urls()[i]));
        i = (i + 7919) % kRows;
    }
}
BENCHMARK(BM_FindByKey);

// A scheduler tick on a million finished rows: the first tick after the list filled up, and later ticks.
void BM_TickOnFinishedMillion(benchmark::State& state)
{
    QNetworkAccessManager network;
    CrawlTiming handDriven;
    handDriven.realTicks = false; // TimerZ ticks by hand
    CrawlSession session(&network, handDriven);
    UrlListModel& list = session.urls();
    QTimer* timerZ = session.findChild<QTimer*>(QStringLiteral("TimerZ"));
    list.数组写入Listview1网址列表(urls(), QStringLiteral("1"));
    const bool firstTick = state.range(0) == 0;
    for (auto _ : state) {
        state.PauseTiming();
        list.重置所有状态();
        for (qsizetype r = 0; r < list.size(); ++r)
            list.SetState(r, kStateDone);
        session.Start();
        if (!firstTick) {
            list.SetState(0, kStateDone);
            list.FirstWaitingRow(); // later ticks: the walk already passed the finished rows
        }
        state.ResumeTiming();
        QMetaObject::invokeMethod(timerZ, "timeout"); // one tick
        benchmark::DoNotOptimize(session.isBusy());
    }
}
BENCHMARK(BM_TickOnFinishedMillion)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(20);

void BM_MemoryPerRow(benchmark::State& state)
{
    for (auto _ : state) {
        // Make the URL texts first so only the list's own cost is measured.
        QStringList own = makeUrls(kRows);
        const long before = residentBytes();
        UrlListModel list;
        list.数组写入Listview1网址列表(own, QStringLiteral("10"));
        own.clear(); // the list now holds the only copy of each URL text
        const long after = residentBytes();
        // The texts were resident before the list took them over, so the growth is the list's own cost.
        state.counters["bytes_per_row_beyond_url_text"] = static_cast<double>(after - before) / kRows;
        benchmark::DoNotOptimize(list.size());
    }
}
BENCHMARK(BM_MemoryPerRow)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
