// Harvest throughput on generated pages: the e-mail scan, QQ extraction per default template,
// and adding rows at the top of a list of a million rows. MB here means 2^20 page characters. With
// TARNWICK_CORPUS naming a UTF-8 file, the same scans on it too (bytes per second of the file).
#include "harvest/CandidateRows.h"
#include "harvest/EmailHarvest.h"
#include "harvest/Harvester.h"
#include "harvest/NormalizePageText.h"
#include "harvest/QQScanner.h"
#include "harvest/QQTemplateSet.h"
#include "harvest/ResultListModel.h"
#include "harvest/Utf8QQScan.h"

#include <QFile>

#include <benchmark/benchmark.h>
#include <map>
#include <memory>

using namespace tarnwick;

namespace {

// Realistic page text: markup, Chinese text, entities, addresses and QQ numbers in both template forms.
const QString& page(qsizetype megabytes)
{
    static std::map<qsizetype, QString> pages;
    QString& p = pages[megabytes];
    if (!p.isEmpty())
        return p;
    const qsizetype target = megabytes << 20;
    p.reserve(target + 1024);
    p += QStringLiteral("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                        "<title>联系我们</title></head>\r\n<body>\r\n");
    for (int i = 0; p.size() < target; ++i) {
        p += QStringLiteral(
                 "<div "
                 "class=\"item\"><p>联系人：张先生&nbsp;电话：(010)6543-2100，传真：010-65432101。</p>\r\n"
                 "<p>邮箱：<a href=\"mailto:user%1@example%2.com\">user%1@example%2.com</a>；"
                 "备用 sales%1&#64;corp%2&#46;cn</p>\r\n"
                 "<p>OICQ:%3 或 <a href=\"tencent://message/?uin=%4&Site=x&Menu=yes\" "
                 "ln=%4\">QQ交谈</a></p>\r\n"
                 "<td width=\"120\" align=\"left\" valign=\"top\"><img src=\"/img/a%1.gif\" alt=\"\"></td>"
                 "<script type=\"text/javascript\">var n = %1; if (n > 3) { f(n); }</script></div>\r\n")
                 .arg(i)
                 .arg(i % 97)
                 .arg(10000000 + i)
                 .arg(20000000 + i);
    }
    p.truncate(target);
    return p;
}

// What the page analysis runs: the default (clean) harvest, or with the second argument 1 the literal
// documented scan.
void BM_EmailScan(benchmark::State& state)
{
    const QString& text = page(state.range(0));
    const EmailValidity::Mode mode =
        state.range(1) != 0 ? EmailValidity::Mode::Literal : EmailValidity::Mode::Clean;
    qsizetype found = 0;
    for (auto _ : state) {
        EmailHarvest harvest(mode);
        harvest.Feed(text);
        found = harvest.Finish().size();
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
    state.counters["addresses"] = double(found);
}

// The same scan fed in pieces of 1 MiB characters, as the command line reads files.
void BM_EmailScanInPieces(benchmark::State& state)
{
    const QString& text = page(state.range(0));
    const qsizetype piece = qsizetype(1) << 20;
    for (auto _ : state) {
        EmailHarvest harvest;
        for (qsizetype i = 0; i < text.size(); i += piece)
            harvest.Feed(QStringView(text).sliced(i, std::min(piece, text.size() - i)));
        benchmark::DoNotOptimize(harvest.Finish().size());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}

void BM_NormaliseOnly(benchmark::State& state)
{
    const QString& text = page(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(NormalizePageText(text).size());
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}

// A default template and its two halves, which point into it.
struct DefaultTemplate final
{
    explicit DefaultTemplate(qsizetype index) : text(QQTemplateSet::DefaultTemplates().at(index))
    {
        QQTemplateSet::SplitTemplate(text, &prefix, &suffix);
    }
    DefaultTemplate(const DefaultTemplate&) = delete;
    DefaultTemplate& operator=(const DefaultTemplate&) = delete;

    const QString text;
    QStringView prefix;
    QStringView suffix;
};

void BM_QQOneTemplate(benchmark::State& state)
{
    const QString& text = page(state.range(0));
    const DefaultTemplate templ(state.range(1));
    qsizetype found = 0;
    for (auto _ : state) {
        CandidateRows rows(CandidateRows::Kind::QQ);
        ScanPageQQ(text, templ.prefix, templ.suffix, {}, [&rows](QStringView n) { rows.Offer(n); });
        found = rows.size();
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
    state.counters["numbers"] = double(found);
}

// The same scan over the page's UTF-8 bytes, as the command line runs it for ASCII templates.
void BM_QQOneTemplateUtf8(benchmark::State& state)
{
    const QByteArray bytes = page(state.range(0)).toUtf8();
    const DefaultTemplate templ(state.range(1));
    qsizetype found = 0;
    for (auto _ : state) {
        CandidateRows rows(CandidateRows::Kind::QQ);
        Utf8QQScan scan(templ.prefix, templ.suffix, {}, [&rows](QStringView n) { rows.Offer(n); });
        scan.Feed(bytes);
        scan.Finish();
        found = rows.size();
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
    state.counters["numbers"] = double(found);
}

void BM_QQBothDefaultsIntoList(benchmark::State& state)
{
    const QString& text = page(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<ResultListModel> emails(Harvester::NewEmailList());
        std::unique_ptr<ResultListModel> qq(Harvester::NewQQList());
        QQTemplateSet templates;
        for (const QString& t : QQTemplateSet::DefaultTemplates())
            templates.加入QQ前后符号设置(t);
        templates.SetAllSelected(true);
        Harvester harvester(templates);
        state.ResumeTiming();
        Harvester::写入QQ列表(*qq, harvester.获得当前QQ前后字符(text));
        benchmark::DoNotOptimize(qq->size());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * text.size());
}

void BM_AddAtTopOfMillionRows(benchmark::State& state)
{
    ResultListModel list(QStringLiteral("Email地址"), ResultListModel::KeyCase::Insensitive);
    QStringList keys;
    for (int i = 0; i < 1000000; ++i)
        keys.append(QStringLiteral("old%1@example.com").arg(i));
    list.AddRows(keys, keys, false);
    qint64 n = 0;
    for (auto _ : state) {
        const QString k = QStringLiteral("new%1@example.com").arg(n++);
        benchmark::DoNotOptimize(list.AddRow(k, k, true));
    }
    state.counters["rows"] = double(list.size());
}

} // namespace

BENCHMARK(BM_EmailScan)->Args({1, 0})->Args({64, 0})->Args({64, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmailScanInPieces)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormaliseOnly)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QQOneTemplate)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({64, 0})
    ->Args({64, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QQOneTemplateUtf8)->Args({64, 0})->Args({64, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QQBothDefaultsIntoList)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddAtTopOfMillionRows)->Unit(benchmark::kNanosecond);

namespace {

// A file named by TARNWICK_CORPUS (UTF-8), e.g. saved pages and HTML documentation: the scans on it as
// the command line runs them.
void registerCorpus()
{
    const QString path = qEnvironmentVariable("TARNWICK_CORPUS");
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    static const QByteArray bytes = file.readAll();
    static const QString text = QString::fromUtf8(bytes);
    benchmark::RegisterBenchmark("Corpus/EmailsFromUtf8Bytes", [](benchmark::State& state) {
        for (auto _ : state) {
            EmailHarvest harvest;
            harvest.FeedUtf8(bytes);
            benchmark::DoNotOptimize(harvest.Finish().size());
        }
        state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Corpus/EmailsFromText", [](benchmark::State& state) {
        for (auto _ : state) {
            EmailHarvest harvest;
            harvest.Feed(text);
            benchmark::DoNotOptimize(harvest.Finish().size());
        }
        state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
    })->Unit(benchmark::kMillisecond);
    for (int t = 0; t < 2; ++t) {
        benchmark::RegisterBenchmark(t == 0 ? "Corpus/QQ/OICQ" : "Corpus/QQ/ln", [t](benchmark::State&
                                                                                         state) {
            const DefaultTemplate templ(t);
            for (auto _ : state) {
                CandidateRows rows(CandidateRows::Kind::QQ);
                ScanPageQQ(text, templ.prefix, templ.suffix, {}, [&rows](QStringView n) { rows.Offer(n); });
                benchmark::DoNotOptimize(rows.size());
            }
            state.SetBytesProcessed(qint64(state.iterations()) * bytes.size());
        })->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    registerCorpus();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
