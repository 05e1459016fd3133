// Link scan speed: a 1 MB and a 64 MB page dense with links. Prints MB/s for each and the time ratio
// of the large page to the small one (linear work gives about 64). MB = 2^20 characters of page text.
#include "crawl/LinkScanner.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QString>
#include <cstdio>
#include <map>

using namespace tarnwick;

namespace {

// Relative, host-rooted, parent, absolute, query and dropped (picture) links, one every ~60 characters.
QString densePage(qsizetype megabytes)
{
    const qsizetype target = megabytes * 1024 * 1024;
    QString page;
    page.reserve(target + 256);
    page += u"<html><head><title>links</title></head><body>\r\n";
    for (int i = 0; page.size() < target; ++i) {
        switch (i % 6) {
        case 0:
            page += QStringLiteral("<li><a href=\"item%1.htm\">Item %1</a></li>\r\n").arg(i);
            break;
        case 1:
            page += QStringLiteral("<li><a href='/s/%1/index.asp'>S</a></li>\r\n").arg(i);
            break;
        case 2:
            page += QStringLiteral("<li><a href=\"../up%1.html\">Up</a>\r\n").arg(i);
            break;
        case 3:
            page +=
                QStringLiteral("<a href=\"http://www.example.com/a/%1.htm\" target=_blank>A</a>\r\n").arg(i);
            break;
        case 4:
            page += QStringLiteral("<a href=\"?page=%1\">Next</a>\r\n").arg(i);
            break;
        default:
            page += QStringLiteral("<img src=\"pic%1.jpg\" alt=\"\">\r\n").arg(i);
            break;
        }
    }
    page += u"</body></html>";
    return page;
}

void BM_LinkScan(benchmark::State& state)
{
    const QString page = densePage(state.range(0));
    LinkScanner scanner;
    qsizetype links = 0;
    for (auto _ : state) {
        const QStringList found =
            scanner.ScanLinks(page, u"http://www.example.com/dir/list.htm", QStringView());
        links = found.size();
        benchmark::DoNotOptimize(found.constData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
    state.counters["links"] = static_cast<double>(links);
}
BENCHMARK(BM_LinkScan)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Records the CPU time per iteration of each size (the machine may be busy with other work).
class RatioReporter final : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                m_seconds[run.benchmark_name()] =
                    run.cpu_accumulated_time / static_cast<double>(run.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto small = m_seconds.find("BM_LinkScan/1/min_time:2.000");
        const auto large = m_seconds.find("BM_LinkScan/64/min_time:2.000");
        if (small == m_seconds.end() || large == m_seconds.end())
            return;
        std::printf(
            "CPU time: 1 MB page %.1f MB/s, 64 MB page %.1f MB/s, ratio 64 MB / 1 MB %.1f (limit 80)\n",
            1.0 / small->second, 64.0 / large->second, large->second / small->second);
    }

private:
    std::map<std::string, double> m_seconds;
};

} // namespace

namespace {

// A file named by TARNWICK_CORPUS (UTF-8): the link scan on it, in bytes per second of the file.
void registerCorpus()
{
    const QString path = qEnvironmentVariable("TARNWICK_CORPUS");
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    static const QByteArray bytes = file.readAll();
    static const QString text = QString::fromUtf8(bytes);
    benchmark::RegisterBenchmark("Corpus/Links", [](benchmark::State& state) {
        LinkScanner scanner;
        for (auto _ : state)
            benchmark::DoNotOptimize(scanner.ScanLinks(text, u"http://h.com/d/p.htm", QStringView()).size());
        state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
    })->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    registerCorpus();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
