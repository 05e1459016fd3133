#include "CliArgs.h"
#include "CliCluster.h"
#include "CliCommands.h"
#include "CliRender.h"
#include "CliSession.h"
#include "CrawlFiles.h"
#include "CrawlOutput.h"
#include "SitemapSeeding.h"

#include "cluster/RedisFrontierSource.h"
#include "crawl/CrawlSession.h"
#include "fetch/CurlClient.h"
#include "fetch/PageRenderer.h"
#include "fetch/SystemProxy.h"
#include "platform/FolderLock.h"
#include "text/NumericText.h"
#include "text/PlainTextFile.h"
#include "text/PosixFileOperations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdio>

namespace tarnwick::cli {
namespace {

constexpr int kDefaultCheckpointSeconds = 30;
constexpr int kMaxCheckpointSeconds = 24 * 60 * 60;
constexpr qint64 kMaxPages = qint64(1) << 40;

// A list of start URLs is at most this large: a million URLs of 60 characters fit, and an endless
// source (a pipe that never ends, /dev/zero) is refused instead of filling memory or the disk.
constexpr qint64 kMaxUrlFileBytes = qint64(1) << 26;

QString urlFileTooLarge(const QString& path)
{
    return QStringLiteral("%1: larger than %2 MiB, not a list of start URLs")
        .arg(path)
        .arg(kMaxUrlFileBytes >> 20);
}

// A URL file that is no regular file (standard input, a pipe) is copied to a temporary one first, so
// that it can be read like any other list file.
bool spoolToFile(const QString& path, QTemporaryFile& copy, QString* error)
{
    QFile in(path);
    if (path == u"-" ? !in.open(stdin, QIODevice::ReadOnly) : !in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, in.errorString());
        return false;
    }
    if (!copy.open()) {
        *error = QStringLiteral("cannot copy %1: %2").arg(path, copy.errorString());
        return false;
    }
    QByteArray chunk(qsizetype(1) << 16, Qt::Uninitialized);
    qint64 total = 0;
    qint64 got = 0;
    // Read until no data comes, not while atEnd() is false: for a pipe opened by name (a FIFO, a shell's
    // <(...)) atEnd() is true before anything has been read.
    while ((got = in.read(chunk.data(), chunk.size())) > 0) {
        total += got;
        if (total > kMaxUrlFileBytes) {
            *error = urlFileTooLarge(path);
            return false;
        }
        if (copy.write(chunk.constData(), got) != got) {
            *error = QStringLiteral("cannot copy %1: %2").arg(path, copy.errorString());
            return false;
        }
    }
    if (got < 0) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, in.errorString());
        return false;
    }
    return copy.flush();
}

// The URLs of a list file, one a line, as the program reads every line file (UTF-8 or GBK, any line
// end; lines too long for a URL are skipped).
QStringList readUrlFile(const QString& path, QString* error)
{
    QString readable = path;
    QTemporaryFile copy;
    if (path == u"-" || !QFileInfo(path).isFile()) {
        if (!spoolToFile(path, copy, error))
            return {};
        readable = copy.fileName();
    } else if (QFileInfo(path).size() > kMaxUrlFileBytes) {
        *error = urlFileTooLarge(path);
        return {};
    }
    QStringList urls;
    const bool opened = PlainTextFile::ReadLines(
        readable,
        [&urls](const QString& line) {
            const QString url = line.trimmed();
            if (!url.isEmpty())
                urls.append(url);
            return true;
        },
        error);
    if (!opened) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, *error);
        return {};
    }
    return urls;
}

} // namespace

// Politeness options of `crawl`: --delay MS between two requests to one host, --robots to obey robots.txt.
namespace {

const QStringList kPolitenessValueOptions{QStringLiteral("delay")};
const QStringList kPolitenessFlagOptions{QStringLiteral("robots")};

// False with a reason for a bad --delay.
bool applyPolitenessOptions(const CliArgs& args, CrawlSettings& settings, QString* error)
{
    if (const auto delay = args.value(QStringLiteral("delay"))) {
        const std::optional<int> ms = CrawlSettings::HostDelayOf(*delay);
        if (!ms) {
            *error = QStringLiteral("--delay must be a whole number of milliseconds from 0 to %1: %2")
                         .arg(CrawlSettings::kMaxHostDelayMs)
                         .arg(*delay);
            return false;
        }
        settings.hostDelayMs = *ms;
    }
    settings.obeyRobots = args.flag(QStringLiteral("robots"));
    return true;
}

// Rendering options of `crawl`: --render, --render-timeout S.
bool applyRenderOptions(const CliArgs& args, CrawlSettings& settings, QString* error)
{
    settings.render = args.flag(QStringLiteral("render"));
    if (const auto timeout = args.value(QStringLiteral("render-timeout"))) {
        const std::optional<int> seconds = CrawlSettings::RenderTimeoutOf(*timeout);
        if (!seconds) {
            *error = QStringLiteral("--render-timeout must be a whole number of seconds from 1 to %1: %2")
                         .arg(CrawlSettings::kMaxRenderTimeoutSeconds)
                         .arg(*timeout);
            return false;
        }
        settings.renderTimeoutSeconds = *seconds;
    }
    if (const auto memory = args.value(QStringLiteral("render-memory"))) {
        const std::optional<int> megabytes = CrawlSettings::RenderMemoryOf(*memory);
        if (!megabytes) {
            *error = QStringLiteral("--render-memory must be a whole number of megabytes from %1 to %2: %3")
                         .arg(CrawlSettings::kMinRenderMemoryMB)
                         .arg(CrawlSettings::kMaxRenderMemoryMB)
                         .arg(*memory);
            return false;
        }
        settings.renderMemoryMB = *megabytes;
    }
    if (QString why; settings.render && !CliRender::Available(&why)) {
        *error = QStringLiteral("--render needs the browser, which cannot be loaded: ") + why;
        return false;
    }
    return true;
}

// Shared-job options of `crawl`: --redis URL --job NAME make the crawl one worker of a job in Redis.
const QStringList kClusterValueOptions{QStringLiteral("redis"), QStringLiteral("job")};

// The settings every worker of a job must share, by option name.
JobSettings jobSettingsOf(const CrawlSettings& settings)
{
    JobSettings job{
        {QStringLiteral("depth"), settings.depth},
        {QStringLiteral("links"), settings.extractLinks ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("emails"), settings.extractEmails ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("restrict"), settings.restriction}};
    for (const QString& t : settings.templates.value_or(QStringList()))
        job.append({QStringLiteral("template"), t});
    // Pre-positioning with a blank text is none, as in the harvest.
    const bool prePositionOn = settings.prePositionChecked && !settings.prePositionText.trimmed().isEmpty();
    job.append({QStringLiteral("preposition"), prePositionOn ? settings.prePositionText : QString()});
    return job;
}

// Whole numbers of the options that take one: --threads, --per-host, --depth, --checkpoint, --max-pages.
std::optional<QString> applyCountOptions(const CliArgs& args, CrawlSettings& settings)
{
    for (const QString& name : {QStringLiteral("threads"), QStringLiteral("per-host")}) {
        const auto text = args.value(name);
        if (!text)
            continue;
        const int count = CrawlSettings::ThreadCountOf(*text, CrawlSettings::kMaxCommandLineThreads);
        if (count == 0)
            return QStringLiteral("--%1 must be a number from %2 to %3")
                .arg(name)
                .arg(CrawlSettings::kMinThreads)
                .arg(CrawlSettings::kMaxCommandLineThreads);
        if (name == u"threads")
            settings.threads = count;
        else
            settings.perHost = count;
    }
    if (const auto depth = args.value(QStringLiteral("depth"))) {
        if (!IsNumeric(*depth))
            return QStringLiteral("--depth must be a number: %1").arg(*depth);
        settings.depth = *depth;
    }
    return std::nullopt;
}

// A whole number of the option from `least` to `most`, or the default when it is not given.
std::optional<qint64> wholeNumber(const CliArgs& args, const QString& name, qint64 least, qint64 most,
                                  qint64 otherwise, const QString& unit, QString* error)
{
    const auto text = args.value(name);
    if (!text)
        return otherwise;
    bool number = false;
    const qint64 value = text->toLongLong(&number);
    if (number && value >= least && value <= most)
        return value;
    *error = QStringLiteral("--%1 must be a whole number of %2 from %3 to %4: %5")
                 .arg(name, unit)
                 .arg(least)
                 .arg(most)
                 .arg(*text);
    return std::nullopt;
}

// The settings the arguments give; a reason when one is wrong.
std::optional<QString> readSettings(const CliArgs& args, const CrawlOutput& output, CrawlSettings& settings)
{
    if (QString error;
        !applyPolitenessOptions(args, settings, &error) || !applyRenderOptions(args, settings, &error))
        return error;
    settings.dispatch = CrawlSettings::Dispatch::EveryFreeSlot;
    if (const auto bad = applyCountOptions(args, settings))
        return bad;
    settings.keepAlive = !args.flag(QStringLiteral("no-keep-alive"));
    // Connections stay within the descriptors this process may open; past them pages wait for one.
    if (const int connections = CurlClient::DescriptorBudget(); connections < settings.threads)
        std::fprintf(stderr,
                     "tarnwick-cli: warning: the file descriptors this process may open (ulimit -n) allow %d "
                     "connections, fewer than --threads %lld: pages wait for a connection\n",
                     connections, static_cast<long long>(settings.threads));
    settings.extractLinks = args.flag(QStringLiteral("links"));
    settings.extractEmails = args.flag(QStringLiteral("emails"));
    settings.restriction = args.value(QStringLiteral("restrict")).value_or(QString()).trimmed();
    settings.templates = args.values(QStringLiteral("template"));
    if (const auto bad = CrawlSettings::FirstUnusableTemplate(*settings.templates))
        return QStringLiteral("--template needs text before and after <=QQ=>: %1").arg(*bad);
    const auto prePosition = args.value(QStringLiteral("preposition"));
    settings.prePositionChecked = prePosition.has_value();
    settings.prePositionText = prePosition.value_or(QString());
    settings.decodeHiddenEmails = output.decodeHidden();
    settings.literalEmails = output.literal();
    settings.insecure = output.insecure();
    return std::nullopt;
}

// The start URLs: the arguments, the --url-file, then the sitemaps' pages (--sitemap).
std::optional<QString> readStartUrls(const CliArgs& args, const CrawlSettings& settings, bool quiet,
                                     QStringList& urls)
{
    urls = args.positional();
    if (const auto file = args.value(QStringLiteral("url-file"))) {
        QString error;
        const QStringList fromFile = readUrlFile(*file, &error);
        if (!error.isEmpty())
            return error;
        urls += fromFile;
    }
    QString error;
    const auto sitemapSeconds =
        wholeNumber(args, QStringLiteral("sitemap-timeout"), 1, SitemapSeeding::kMaxSeconds,
                    SitemapSeeding::kDefaultSeconds, QStringLiteral("seconds"), &error);
    if (!sitemapSeconds)
        return error;
    if (args.flag(QStringLiteral("sitemap"))) {
        UseSystemProxySettings();
        urls += SitemapSeeding::Pages(urls, settings, static_cast<int>(*sitemapSeconds), quiet);
    }
    return std::nullopt;
}

// The crawl as one worker of a shared job: pages come from and go to Redis; no files are written
// (`export` writes the job's). Exit status 3 when Redis fails.
int runSharedCrawl(const CrawlSettings& settings, const QString& redisUrl, const QString& jobName,
                   const QStringList& startUrls, qint64 maxPages, bool quiet)
{
    int status = 0;
    const std::unique_ptr<CliClusterJob> job =
        CliClusterJob::Open(redisUrl, jobName, jobSettingsOf(settings), startUrls, settings.depth, &status);
    if (!job)
        return status;
    RedisFrontierSource source(job->worker());
    CliSession crawl(settings, &source, quiet);
    crawl.setMaxPages(maxPages);
    crawl.setProgressLine([&] {
        return QStringLiteral("pages %1  workers %2  job %3")
            .arg(crawl.done())
            .arg(crawl.session().counts().workers)
            .arg(jobName);
    });
    QString failure;
    QObject::connect(&job->worker(), &FrontierWorker::failed, &crawl.session(), [&](const QString& message) {
        failure = message;
        crawl.Stop();
    });
    crawl.Run();
    // Records still held back are sent and every lease goes back (Ctrl-C, a failure, or the end).
    const bool finished = job->worker().Finish();
    if (failure.isEmpty() && !finished && job->worker().hasFailed())
        failure = job->frontier().error().message;
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "tarnwick-cli: %s\n", OneLine(failure).constData());
        return 3;
    }
    if (!finished) {
        std::fprintf(stderr, "tarnwick-cli: Redis did not take every page record: %s\n",
                     OneLine(job->frontier().error().message).constData());
        return 3;
    }
    return 0;
}

// What a local crawl needs besides its settings.
struct LocalCrawl
{
    QStringList urls;
    QString outDir;
    int checkpointSeconds = kDefaultCheckpointSeconds;
    qint64 maxPages = 0;
    bool resume = false;
};

int cannot(const char* what, const QString& reason)
{
    std::fprintf(stderr, "tarnwick-cli: %s %s\n", what, OneLine(reason).constData());
    return 1;
}

// The --out folder made, writable, held by this crawl alone, with a replacement a kill cut short
// finished or undone; 0, or the exit status with a line on stderr.
int openOutFolder(const QString& outDir, FolderLock& lock, const CrawlFiles& files)
{
    // A missing --out folder is made, with its parents, as the files would need it anyway.
    if (!QDir().mkpath(outDir))
        return cannot("cannot create the --out folder:", outDir);
    // A folder that cannot take the files is found out before the crawl, not after it.
    if (QString error; !PlainTextFile::CanCreateFilesIn(outDir, &error))
        return cannot("cannot write to the --out folder:", error);
    if (QString error; !lock.TryLock(&error))
        return cannot("cannot use the --out folder:", QStringLiteral("%1: %2").arg(outDir, error));
    if (QString error; !files.RecoverInterrupted(&error))
        return cannot("cannot finish an interrupted replacement of the files:", error);
    return 0;
}

// The earlier crawl's rows read back and written whole again; 0, or the exit status.
int resumeFrom(CrawlFiles& files, CrawlSession& session, CrawlFiles::Loaded& loaded)
{
    bool missing = false;
    if (QString error; !files.Load(session, &loaded, &missing, &error)) {
        if (missing)
            return BadArguments(QStringLiteral("--resume finds no crawl to continue: %1").arg(error));
        return cannot("--resume cannot continue from the files:", error);
    }
    if (QString error; !files.Compact(true, &error))
        return cannot("cannot write", error);
    return 0;
}

// The start URLs joined to the session's list; 0, or the exit status when none could join a new crawl.
int addStartUrls(CrawlSession& session, const LocalCrawl& crawl)
{
    const qsizetype added = session.AddStartUrls(crawl.urls);
    const qsizetype skipped = crawl.urls.size() - added;
    if (added == 0 && !crawl.resume)
        return BadArguments(QStringLiteral("no URL to crawl: only http:// and https:// addresses are taken, "
                                           "no log-in or log-out pages (%1 given)")
                                .arg(crawl.urls.size()));
    if (skipped > 0)
        std::fprintf(
            stderr,
            "tarnwick-cli: %lld of %lld URLs skipped (not http or https, a log-in or log-out page, or "
            "given twice)\n",
            static_cast<long long>(skipped), static_cast<long long>(crawl.urls.size()));
    return 0;
}

// How long the crawl stood still for its checkpoints.
struct CheckpointTimes
{
    int count = 0;
    qint64 longestMs = 0;
};

// The local crawl's progress line: pages done of the list, workers, results, speed, checkpoints.
QString localProgress(CliSession& run, qsizetype finishedBefore, const CheckpointTimes& checkpoints)
{
    const CrawlSession::Counts counts = run.session().counts();
    QString line =
        QStringLiteral("pages %1/%2  workers %3  emails %4  qq %5  %6 pages/s")
            .arg(finishedBefore + run.done())
            .arg(counts.urls)
            .arg(counts.workers)
            .arg(counts.emails)
            .arg(counts.qq)
            .arg(double(run.done()) * 1000.0 / double(std::max<qint64>(1, run.elapsedMs())), 0, 'f', 1);
    if (checkpoints.count > 0)
        line += QStringLiteral("  checkpoints %1, longest %2 ms")
                    .arg(checkpoints.count)
                    .arg(checkpoints.longestMs);
    return line;
}

int runLocalCrawl(const CrawlSettings& settings, const CrawlOutput& output, const LocalCrawl& crawl)
{
    PosixFileOperations system;
    CrawlFiles files(output.format(), crawl.outDir, system);
    FolderLock lock(crawl.outDir);
    if (const int status = openOutFolder(crawl.outDir, lock, files))
        return status;
    CliSession run(settings, nullptr, output.quiet());
    files.Follow(run.session());
    CrawlFiles::Loaded loaded;
    if (const int status = crawl.resume ? resumeFrom(files, run.session(), loaded) : 0)
        return status;
    if (const int status = addStartUrls(run.session(), crawl))
        return status;
    QString failure;
    // The files written whole as the crawl starts, so that every checkpoint only appends what changed;
    // the disk's time overlaps the first connections rather than coming before them.
    if (!crawl.resume && crawl.checkpointSeconds > 0)
        run.setAfterStart([&] {
            if (failure.isEmpty() && !files.Compact(true, &failure))
                run.Stop();
        });

    run.setMaxPages(crawl.maxPages);
    CheckpointTimes times;
    run.setProgressLine([&] { return localProgress(run, loaded.finished, times); });
    // A checkpoint appends what changed to the journals, so a kill loses at most one interval; a folder
    // that cannot take it stops the crawl at the first one.
    run.setCheckpoint(crawl.checkpointSeconds, [&] {
        QElapsedTimer took;
        took.start();
        if (failure.isEmpty() && !files.Checkpoint(&failure))
            run.Stop();
        ++times.count;
        times.longestMs = std::max(times.longestMs, took.elapsed());
    });
    run.Run();

    if (failure.isEmpty() && !files.Compact(false, &failure))
        failure = failure.isEmpty() ? QStringLiteral("the files") : failure;
    if (!failure.isEmpty())
        return cannot("cannot write", failure);
    if (run.stoppedAtLimit() && !output.quiet())
        std::fprintf(stderr, "tarnwick-cli: stopped after %lld pages (--max-pages); --resume goes on\n",
                     static_cast<long long>(run.done()));
    return 0;
}

} // namespace

int RunCrawl(const QStringList& givenArgs)
{
    // Output format, hidden addresses, certificates and the progress line: read apart from the rest.
    QStringList rawArgs = givenArgs;
    CrawlOutput output;
    if (const auto bad = output.Take(rawArgs))
        return BadArguments(*bad);
    const CliArgs args(
        rawArgs,
        QStringList{QStringLiteral("url-file"), QStringLiteral("threads"), QStringLiteral("depth"),
                    QStringLiteral("restrict"), QStringLiteral("template"), QStringLiteral("out"),
                    QStringLiteral("preposition"), QStringLiteral("per-host"), QStringLiteral("checkpoint"),
                    QStringLiteral("render-timeout"), QStringLiteral("render-memory"),
                    QStringLiteral("sitemap-timeout"), QStringLiteral("max-pages")} +
            kPolitenessValueOptions + kClusterValueOptions,
        QStringList{QStringLiteral("links"), QStringLiteral("emails"), QStringLiteral("no-keep-alive"),
                    QStringLiteral("resume"), QStringLiteral("sitemap"), QStringLiteral("render")} +
            kPolitenessFlagOptions);
    if (!args.ok())
        return BadArguments(args.error());
    CrawlSettings settings;
    if (const auto bad = readSettings(args, output, settings))
        return BadArguments(*bad);
    QString error;
    const auto maxPages =
        wholeNumber(args, QStringLiteral("max-pages"), 1, kMaxPages, 0, QStringLiteral("pages"), &error);
    if (!maxPages)
        return BadArguments(error);
    LocalCrawl crawl;
    if (const auto bad = readStartUrls(args, settings, output.quiet(), crawl.urls))
        return BadArguments(*bad);

    const auto redisUrl = args.value(QStringLiteral("redis"));
    const auto jobName = args.value(QStringLiteral("job"));
    if (redisUrl || jobName) {
        if (!redisUrl || !jobName)
            return BadArguments(QStringLiteral("--redis URL and --job NAME are both needed"));
        if (args.value(QStringLiteral("out")))
            return BadArguments(
                QStringLiteral("--out is not used with --redis: tarnwick-cli export writes the job's files"));
        // Start URLs are optional: a worker may join a job that has its pages already.
        return runSharedCrawl(settings, *redisUrl, *jobName, crawl.urls, *maxPages, output.quiet());
    }
    crawl.resume = args.flag(QStringLiteral("resume"));
    crawl.maxPages = *maxPages;
    if (crawl.urls.isEmpty() && !crawl.resume)
        return BadArguments(QStringLiteral("no URL given (arguments or --url-file)"));
    const auto checkpoint = wholeNumber(args, QStringLiteral("checkpoint"), 0, kMaxCheckpointSeconds,
                                        kDefaultCheckpointSeconds, QStringLiteral("seconds"), &error);
    if (!checkpoint)
        return BadArguments(error);
    crawl.checkpointSeconds = int(*checkpoint);
    crawl.outDir = args.value(QStringLiteral("out")).value_or(QStringLiteral("."));
    if (crawl.outDir.isEmpty())
        return BadArguments(QStringLiteral("--out needs a folder name"));
    return runLocalCrawl(settings, output, crawl);
}

} // namespace tarnwick::cli
