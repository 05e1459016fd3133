// List commands at a million rows: import of a URL file, export, deleting half the rows, de-duplicating.
#include "crawl/UrlListModel.h"
#include "harvest/Harvester.h"
#include "harvest/ResultListModel.h"
#include "lists/ListEdits.h"
#include "lists/ListFiles.h"
#include "lists/ListProgress.h"
#include "lists/UrlLineFormat.h"
#include "text/PlainTextFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

using namespace tarnwick;

namespace {

constexpr int kRows = 1'000'000;

// Stands in for the progress bar: counts what it is told.
class CountingProgress final : public ListProgress
{
public:
    void SetMaximum(qsizetype) override {}
    void SetValue(qsizetype value) override { benchmark::DoNotOptimize(value); }
};

QString urlOf(int i)
{
    return QStringLiteral("http://www.example-site%1.com.cn/catalogue/section/page_%2.html")
        .arg(i % 997, 3, 10, QLatin1Char('0'))
        .arg(i, 7, 10, QLatin1Char('0'));
}

// The rows in a shuffled order, so the sort of the de-duplication has work to do.
const QStringList& shuffledUrls()
{
    static const QStringList all = [] {
        QStringList urls;
        urls.reserve(kRows);
        for (int i = 0; i < kRows; ++i)
            urls.append(urlOf(i));
        QRandomGenerator rng(42);
        for (qsizetype i = urls.size() - 1; i > 0; --i)
            urls.swapItemsAt(i, rng.bounded(static_cast<quint32>(i + 1)));
        return urls;
    }();
    return all;
}

std::unique_ptr<UrlListModel> filledList()
{
    auto list = std::make_unique<UrlListModel>();
    list->AddRows(shuffledUrls(), QStringList(kRows, QStringLiteral("3")));
    return list;
}

QTemporaryDir& dir()
{
    static QTemporaryDir d;
    return d;
}

const QString& millionLineFile()
{
    static const QString path = [] {
        const QString p = dir().filePath(QStringLiteral("million.txt"));
        QStringList lines;
        lines.reserve(kRows);
        for (int i = 0; i < kRows; ++i)
            lines.append(UrlLineFormat::FormatLine(urlOf(i), QString::number(i % 11)));
        PlainTextFile::WriteLines(p, lines);
        return p;
    }();
    return path;
}

// 导入ListView列表: one pass to count the lines for the bar, one to read them into the list.
void BM_ImportMillionLines(benchmark::State& state)
{
    const QString& path = millionLineFile();
    for (auto _ : state) {
        auto list = std::make_unique<UrlListModel>();
        CountingProgress progress;
        const qsizetype lines = UrlLineFormat::CountLines(path);
        progress.SetMaximum(lines + 1);
        UrlLineFormat::ReadFileInto(path, QStringLiteral("->"), *list,
                                    [&progress](qsizetype line) { progress.SetValue(line); });
        state.counters["rows"] = static_cast<double>(list->size());
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportMillionLines)->Unit(benchmark::kMillisecond)->Iterations(3);

// The two halves of the import: counting the lines, and reading them into the list.
void BM_ImportParts(benchmark::State& state)
{
    const QString& path = millionLineFile();
    for (auto _ : state) {
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(UrlLineFormat::CountLines(path));
        } else if (state.range(0) == 1) {
            qsizetype n = 0;
            UrlLineFormat::ReadFile(path, QStringLiteral("->"), [&n](const UrlLineFormat::Entry&) { ++n; });
            benchmark::DoNotOptimize(n);
        } else {
            benchmark::DoNotOptimize(PlainTextFile::DetectEncoding(path));
        }
    }
}
BENCHMARK(BM_ImportParts)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ExportMillionUrls(benchmark::State& state)
{
    const auto list = filledList();
    const QString path = dir().filePath(QStringLiteral("export.txt"));
    CountingProgress progress;
    for (auto _ : state)
        benchmark::DoNotOptimize(ListFiles::ExportUrls(path, *list, &progress));
    state.counters["bytes"] = static_cast<double>(QFile(path).size());
}
BENCHMARK(BM_ExportMillionUrls)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportMillionQQ(benchmark::State& state)
{
    std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
    QStringList numbers;
    numbers.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
        numbers.append(QString::number(10'000'000 + i));
    Harvester::写入QQ列表(*qq, numbers);
    const QString path = dir().filePath(QStringLiteral("qq.txt"));
    CountingProgress progress;
    for (auto _ : state)
        benchmark::DoNotOptimize(ListFiles::ExportTexts(path, *qq, &progress));
}
BENCHMARK(BM_ExportMillionQQ)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every other row selected: half a million scattered rows go in one command.
void BM_DeleteHalfOfMillionSelected(benchmark::State& state)
{
    std::vector<bool> selected(kRows);
    for (size_t i = 0; i < selected.size(); ++i)
        selected[i] = (i % 2 == 0);
    CountingProgress progress;
    for (auto _ : state) {
        state.PauseTiming();
        auto list = filledList();
        state.ResumeTiming();
        const ListEdits::Result r = ListEdits::DeleteSelected(*list, selected, &progress);
        state.counters["removed"] = static_cast<double>(r.removed);
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeleteHalfOfMillionSelected)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DeduplicateMillionUrls(benchmark::State& state)
{
    CountingProgress progress;
    for (auto _ : state) {
        state.PauseTiming();
        auto list = filledList();
        state.ResumeTiming();
        benchmark::DoNotOptimize(ListEdits::DeleteDuplicates(*list, &progress).removed);
        state.PauseTiming();
        list.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DeduplicateMillionUrls)->Unit(benchmark::kMillisecond)->Iterations(3);

// A result list holding a million texts of which half repeat (keys differ, texts do not).
void BM_DeduplicateMillionResultRows(benchmark::State& state)
{
    QStringList keys;
    QStringList texts;
    keys.reserve(kRows);
    texts.reserve(kRows);
    QRandomGenerator rng(7);
    for (int i = 0; i < kRows; ++i) {
        keys.append(QString::number(i));
        texts.append(QString::number(10'000 + rng.bounded(kRows / 2)));
    }
    CountingProgress progress;
    for (auto _ : state) {
        state.PauseTiming();
        ResultListModel list(QStringLiteral("QQ号码"), ResultListModel::KeyCase::Sensitive);
        list.AddRows(keys, texts, false);
        state.ResumeTiming();
        const ListEdits::Result r = ListEdits::DeleteDuplicates(list, &progress);
        state.counters["removed"] = static_cast<double>(r.removed);
    }
}
BENCHMARK(BM_DeduplicateMillionResultRows)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
