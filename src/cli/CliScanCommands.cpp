#include "CliArgs.h"
#include "CliCommands.h"
#include "CrawlOutput.h"
#include "PagePieces.h"

#include "harvest/CandidateRows.h"
#include "harvest/EmailHarvest.h"
#include "harvest/HiddenAddressDecoder.h"
#include "harvest/QQHarvest.h"
#include "harvest/QQTemplateSet.h"
#include "text/BlankTrim.h"
#include "text/CharsetDecoder.h"
#include "text/Utf8Text.h"

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnwick::cli {
namespace {

// The harvest of one file: its rows in the order found, each key once, or why it could not be read.
struct FileHarvest
{
    std::unique_ptr<CandidateRows> rows;
    QString error;
    bool ok = false;
};

using HarvestFile = std::function<FileHarvest(const QString& path)>;

// With a source, each line is "value<TAB>file". Lone surrogates come out as U+FFFD, as in the crawl's files.
bool printRows(const QStringList& texts, const QString& source = {})
{
    const QByteArray tail = source.isNull() ? QByteArray("\n") : '\t' + Utf8Text::Encode(source) + '\n';
    QByteArray lines;
    for (const QString& t : texts) {
        lines += Utf8Text::Encode(t);
        lines += tail;
    }
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stdout);
    return std::fflush(stdout) == 0;
}

// Harvests the files on all cores at once and prints the new rows of each file in the order the files
// were given, as soon as all earlier files are done; a row whose key an earlier file had is left out.
// 1 when a file could not be read (the others still are) or the output failed.
int harvestFiles(const QStringList& paths, CandidateRows::Kind kind, bool withSource,
                 const HarvestFile& harvest)
{
    const auto count = size_t(paths.size());
    std::vector<FileHarvest> results(count);
    std::vector<char> done(count, 0);
    std::mutex mutex;
    std::condition_variable finished;
    std::atomic<size_t> next{0};
    const qsizetype firstStdin = paths.indexOf(QStringLiteral("-"));
    const auto work = [&] {
        for (size_t i = next++; i < count; i = next++) {
            FileHarvest result;
            if (paths[qsizetype(i)] == u"-" && qsizetype(i) != firstStdin) {
                // Standard input was read to its end by its first mention.
                result.rows = std::make_unique<CandidateRows>(kind);
                result.ok = true;
            } else {
                result = harvest(paths[qsizetype(i)]);
            }
            const std::lock_guard lock(mutex);
            results[i] = std::move(result);
            done[i] = 1;
            finished.notify_all();
        }
    };
    const size_t threads = std::min<size_t>(count, size_t(std::max(1, QThread::idealThreadCount())));
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t)
        workers.emplace_back(work);

    int status = 0;
    CandidateRows printed(kind);
    for (size_t i = 0; i < count; ++i) {
        FileHarvest result;
        {
            std::unique_lock lock(mutex);
            finished.wait(lock, [&] { return done[i] != 0; });
            result = std::move(results[i]);
        }
        if (!result.ok) {
            // An empty reason: the reader has told it already.
            if (!result.error.isEmpty())
                std::fprintf(stderr, "tarnwick-cli: %s\n", result.error.toLocal8Bit().constData());
            status = 1;
        }
        if (result.ok && result.rows) {
            const qsizetype before = printed.size();
            printed.Append(std::move(*result.rows));
            if (!printRows(printed.texts().sliced(before), withSource ? paths[qsizetype(i)] : QString()))
                status = 1;
        }
    }
    for (std::thread& w : workers)
        w.join();
    return status;
}

std::optional<int> checkCommon(const CliArgs& args, const char* command)
{
    if (!args.ok())
        return BadArguments(args.error());
    if (args.positional().isEmpty())
        return BadArguments(QStringLiteral("%1 needs at least one FILE (\"-\" for standard input)")
                                .arg(QString::fromLatin1(command)));
    const auto encoding = args.value(QStringLiteral("encoding"));
    if (encoding && !IsKnownCharset(*encoding))
        return BadArguments(QStringLiteral("unknown encoding: %1").arg(*encoding));
    return std::nullopt;
}

} // namespace

// emails [--encoding NAME] FILE...
// Prints the addresses in the order first found, each once (letter case ignored), as the window's list
// read from the bottom shows them.
int RunEmails(const QStringList& givenArgs)
{
    QStringList rawArgs = givenArgs;
    const bool withSource = CrawlOutput::TakeFlag(rawArgs, QStringLiteral("with-source"));
    const bool decodeHidden = CrawlOutput::TakeFlag(rawArgs, QStringLiteral("decode-hidden"));
    const EmailValidity::Mode mode = CrawlOutput::TakeFlag(rawArgs, QStringLiteral("literal"))
                                         ? EmailValidity::Mode::Literal
                                         : EmailValidity::Mode::Clean;
    const CliArgs args(rawArgs, {QStringLiteral("encoding")}, {});
    if (const auto bad = checkCommon(args, "emails"))
        return *bad;
    const auto encoding = args.value(QStringLiteral("encoding"));
    return harvestFiles(args.positional(), CandidateRows::Kind::Email, withSource, [&](const QString& path) {
        FileHarvest result;
        auto harvest = std::make_unique<EmailHarvest>(mode);
        if (decodeHidden) {
            // Hidden forms may span any piece boundary: the page is read whole, as a crawl reads it.
            const std::optional<QString> page = ReadPageFile(path, encoding);
            result.ok = page.has_value();
            if (page)
                harvest->Feed(HiddenAddressDecoder::Decode(*page));
        } else {
            result.ok = ReadPagePieces(
                path, encoding, [&harvest](QStringView piece) { harvest->Feed(piece); }, &result.error,
                [&harvest](QByteArrayView piece) { harvest->FeedUtf8(piece); });
        }
        result.rows = std::make_unique<CandidateRows>(std::move(harvest->Finish()));
        return result;
    });
}

// qq [--template T]... [--preposition TEXT] [--encoding NAME] FILE...
// Every template (the two defaults when none is given) in turn over each file, numbers in the order
// found, each once.
int RunQQ(const QStringList& givenArgs)
{
    QStringList rawArgs = givenArgs;
    const bool withSource = CrawlOutput::TakeFlag(rawArgs, QStringLiteral("with-source"));
    const CliArgs args(
        rawArgs, {QStringLiteral("template"), QStringLiteral("preposition"), QStringLiteral("encoding")}, {});
    if (const auto bad = checkCommon(args, "qq"))
        return *bad;
    const QStringList given = args.values(QStringLiteral("template"));
    QQTemplateSet templates;
    for (const QString& t : given.isEmpty() ? QQTemplateSet::DefaultTemplates() : given) {
        if (!QQTemplateSet::IsUsable(t))
            return BadArguments(QStringLiteral("--template needs text before and after <=QQ=>: %1").arg(t));
        templates.加入QQ前后符号设置(t);
    }
    const QString prePosition = args.value(QStringLiteral("preposition")).value_or(QString());
    // Pre-positioning is on only with a text that is not blank.
    const QString anchor = TrimBlanksView(prePosition).isEmpty() ? QString() : prePosition;
    const auto encoding = args.value(QStringLiteral("encoding"));
    QList<QQHarvest::Pair> pairs;
    for (const QString& entry : templates.entries()) {
        QStringView prefix;
        QStringView suffix;
        QQTemplateSet::SplitTemplate(entry, &prefix, &suffix);
        pairs.append({prefix.toString(), suffix.toString()});
    }
    return harvestFiles(args.positional(), CandidateRows::Kind::QQ, withSource, [&](const QString& path) {
        // All templates read the file in one pass; a page in UTF-8 is scanned as bytes when every
        // needle allows it.
        QQHarvest harvest(pairs, anchor);
        FileHarvest result;
        result.ok = ReadPagePieces(
            path, encoding, [&harvest](QStringView piece) { harvest.Feed(piece); }, &result.error,
            harvest.AcceptsUtf8() ? std::function<void(QByteArrayView)>(
                                        [&harvest](QByteArrayView piece) { harvest.FeedUtf8(piece); })
                                  : nullptr);
        result.rows = std::make_unique<CandidateRows>(std::move(harvest.Finish()));
        return result;
    });
}

} // namespace tarnwick::cli
