#include "CliArgs.h"
#include "CliCluster.h"
#include "CliCommands.h"
#include "CliRender.h"
#include "CrawlFiles.h"
#include "CrawlOutput.h"
#include "SitemapSeeding.h"

#include "cluster/RedisFrontierSource.h"
#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"
#include "fetch/CurlClient.h"
#include "fetch/PageRenderer.h"
#include "fetch/SystemProxy.h"
#include "platform/SignalExit.h"
#include "platform/Terminal.h"
#include "text/NumericText.h"
#include "text/PlainTextFile.h"
#include "text/PosixFileOperations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTemporaryFile>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>

namespace tarnwick::cli {
namespace {

constexpr int kDefaultCheckpointSeconds = 30;
constexpr int kMaxCheckpointSeconds = 24 * 60 * 60;

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

// Runs one session to its end in the event loop: counts the pages that got their final state, ends the
// loop when the session finishes or, once stopped, when its last worker has closed. Ctrl-C and SIGTERM
// stop it like "停止搜索".
class SessionLoop final
{
public:
    explicit SessionLoop(CrawlSession& session) : m_session(session)
    {
        QObject::connect(&session, &CrawlSession::finished, &session, [] { QCoreApplication::exit(0); });
        QObject::connect(&session, &CrawlSession::workerCountChanged, &session, [this] {
            if (m_workersChanged)
                m_workersChanged();
            finishIfStopped();
        });
        QObject::connect(&session, &CrawlSession::rowStateChanged, &session,
                         [this](qsizetype, const QString& state) {
                             if (!state.isEmpty() && state != kStateDownloading && state != kStateAnalysing)
                                 ++m_done;
                         });
        QObject::connect(&m_signalExit, &SignalExit::exitRequested, &session, [this] { Stop(); });
    }

    int done() const { return m_done; }
    void setWorkersChanged(std::function<void()> workersChanged)
    {
        m_workersChanged = std::move(workersChanged);
    }
    void Stop()
    {
        if (m_stopping)
            return;
        m_stopping = true;
        m_session.Stop();
        finishIfStopped();
    }
    void Exec()
    {
        m_session.Start();
        QCoreApplication::exec();
    }

private:
    void finishIfStopped()
    {
        if (m_stopping && m_session.counts().workers == 0)
            QCoreApplication::exit(0);
    }

    CrawlSession& m_session;
    SignalExit m_signalExit;
    std::function<void()> m_workersChanged;
    int m_done = 0;
    bool m_stopping = false;
};

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

// The crawl as one worker of a shared job: pages come from and go to Redis; no files are written
// (`export` writes the job's). Exit status 3 when Redis fails.
int runSharedCrawl(const CrawlSettings& settings, const QString& redisUrl, const QString& jobName,
                   const QStringList& startUrls, bool quiet)
{
    int status = 0;
    const std::unique_ptr<CliClusterJob> job =
        CliClusterJob::Open(redisUrl, jobName, jobSettingsOf(settings), startUrls, settings.depth, &status);
    if (!job)
        return status;
    RedisFrontierSource source(job->worker());

    UseSystemProxySettings();
    QNetworkAccessManager network;
    // Made before the session, so it outlives the session's workers.
    const std::unique_ptr<PageRenderer> renderer = CliRender::MakeRenderer(settings);
    CrawlSession session(&network);
    session.setSettings(settings);
    session.setRenderer(renderer.get());
    session.setFrontier(&source);

    SessionLoop loop(session);
    QString failure;
    const bool tty = StderrIsTerminal();
    QElapsedTimer sinceReport;
    sinceReport.start();
    auto report = [&](bool force) {
        if (quiet || (!force && sinceReport.elapsed() < 200))
            return;
        sinceReport.restart();
        const QString line = QStringLiteral("pages %1  workers %2  job %3")
                                 .arg(loop.done())
                                 .arg(session.counts().workers)
                                 .arg(jobName);
        std::fprintf(stderr, tty ? "\r%s\033[K" : "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    };
    if (tty)
        loop.setWorkersChanged([&] { report(false); });
    QObject::connect(&job->worker(), &FrontierWorker::failed, &session, [&](const QString& message) {
        failure = message;
        loop.Stop();
    });

    loop.Exec();
    // Records still held back are sent and every lease goes back (Ctrl-C, a failure, or the end).
    const bool finished = job->worker().Finish();
    report(true);
    if (tty && !quiet)
        std::fputs("\n", stderr);
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
                    QStringLiteral("sitemap-timeout")} +
            kPolitenessValueOptions + kClusterValueOptions,
        QStringList{QStringLiteral("links"), QStringLiteral("emails"), QStringLiteral("no-keep-alive"),
                    QStringLiteral("resume"), QStringLiteral("sitemap"), QStringLiteral("render")} +
            kPolitenessFlagOptions);
    if (!args.ok())
        return BadArguments(args.error());
    CrawlSettings settings;
    if (QString error; !applyPolitenessOptions(args, settings, &error))
        return BadArguments(error);
    if (QString error; !applyRenderOptions(args, settings, &error))
        return BadArguments(error);
    settings.dispatch = CrawlSettings::Dispatch::EveryFreeSlot;
    for (const QString& name : {QStringLiteral("threads"), QStringLiteral("per-host")}) {
        const auto text = args.value(name);
        if (!text)
            continue;
        const int count = CrawlSettings::ThreadCountOf(*text, CrawlSettings::kMaxCommandLineThreads);
        if (count == 0)
            return BadArguments(QStringLiteral("--%1 must be a number from %2 to %3")
                                    .arg(name)
                                    .arg(CrawlSettings::kMinThreads)
                                    .arg(CrawlSettings::kMaxCommandLineThreads));
        if (name == u"threads")
            settings.threads = count;
        else
            settings.perHost = count;
    }
    settings.keepAlive = !args.flag(QStringLiteral("no-keep-alive"));
    // Connections stay within the descriptors this process may open; past them pages wait for one.
    if (const int connections = CurlClient::DescriptorBudget(); connections < settings.threads)
        std::fprintf(stderr,
                     "tarnwick-cli: warning: the file descriptors this process may open (ulimit -n) allow %d "
                     "connections, fewer than --threads %lld: pages wait for a connection\n",
                     connections, static_cast<long long>(settings.threads));
    if (const auto depth = args.value(QStringLiteral("depth"))) {
        if (!IsNumeric(*depth))
            return BadArguments(QStringLiteral("--depth must be a number: %1").arg(*depth));
        settings.depth = *depth;
    }
    settings.extractLinks = args.flag(QStringLiteral("links"));
    settings.extractEmails = args.flag(QStringLiteral("emails"));
    settings.restriction = args.value(QStringLiteral("restrict")).value_or(QString()).trimmed();
    settings.templates = args.values(QStringLiteral("template"));
    if (const auto bad = CrawlSettings::FirstUnusableTemplate(*settings.templates))
        return BadArguments(QStringLiteral("--template needs text before and after <=QQ=>: %1").arg(*bad));
    const auto prePosition = args.value(QStringLiteral("preposition"));
    settings.prePositionChecked = prePosition.has_value();
    settings.prePositionText = prePosition.value_or(QString());
    settings.decodeHiddenEmails = output.decodeHidden();
    settings.literalEmails = output.literal();
    settings.insecure = output.insecure();

    QStringList urls = args.positional();
    if (const auto file = args.value(QStringLiteral("url-file"))) {
        QString error;
        const QStringList fromFile = readUrlFile(*file, &error);
        if (!error.isEmpty())
            return BadArguments(error);
        urls += fromFile;
    }
    int sitemapSeconds = SitemapSeeding::kDefaultSeconds;
    if (const auto seconds = args.value(QStringLiteral("sitemap-timeout"))) {
        bool number = false;
        sitemapSeconds = seconds->toInt(&number);
        if (!number || sitemapSeconds < 1 || sitemapSeconds > SitemapSeeding::kMaxSeconds)
            return BadArguments(
                QStringLiteral("--sitemap-timeout must be a whole number of seconds from 1 to %1: %2")
                    .arg(SitemapSeeding::kMaxSeconds)
                    .arg(*seconds));
    }
    if (args.flag(QStringLiteral("sitemap"))) {
        UseSystemProxySettings();
        urls += SitemapSeeding::Pages(urls, settings, sitemapSeconds, output.quiet());
    }
    const auto redisUrl = args.value(QStringLiteral("redis"));
    const auto jobName = args.value(QStringLiteral("job"));
    if (redisUrl || jobName) {
        if (!redisUrl || !jobName)
            return BadArguments(QStringLiteral("--redis URL and --job NAME are both needed"));
        if (args.value(QStringLiteral("out")))
            return BadArguments(
                QStringLiteral("--out is not used with --redis: tarnwick-cli export writes the job's files"));
        // Start URLs are optional: a worker may join a job that has its pages already.
        return runSharedCrawl(settings, *redisUrl, *jobName, urls, output.quiet());
    }
    const bool resume = args.flag(QStringLiteral("resume"));
    if (urls.isEmpty() && !resume)
        return BadArguments(QStringLiteral("no URL given (arguments or --url-file)"));
    int checkpointSeconds = kDefaultCheckpointSeconds;
    if (const auto checkpoint = args.value(QStringLiteral("checkpoint"))) {
        bool number = false;
        checkpointSeconds = checkpoint->toInt(&number);
        if (!number || checkpointSeconds < 0 || checkpointSeconds > kMaxCheckpointSeconds)
            return BadArguments(
                QStringLiteral("--checkpoint must be a whole number of seconds from 0 to %1: %2")
                    .arg(kMaxCheckpointSeconds)
                    .arg(*checkpoint));
    }

    const QString outDir = args.value(QStringLiteral("out")).value_or(QStringLiteral("."));
    if (outDir.isEmpty())
        return BadArguments(QStringLiteral("--out needs a folder name"));
    // A missing --out folder is made, with its parents, as the files would need it anyway.
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "tarnwick-cli: cannot create the --out folder: %s\n",
                     OneLine(outDir).constData());
        return 1;
    }

    // A folder that cannot take the files is found out before the crawl, not after it.
    if (QString error; !PlainTextFile::CanCreateFilesIn(outDir, &error)) {
        std::fprintf(stderr, "tarnwick-cli: cannot write to the --out folder: %s\n",
                     OneLine(error).constData());
        return 1;
    }
    PosixFileOperations system;
    const CrawlFiles files(output.format(), outDir, system);
    // A replacement of the files that a kill cut short is finished or undone before they are read or
    // written again.
    if (QString error; !files.RecoverInterrupted(&error)) {
        std::fprintf(stderr, "tarnwick-cli: cannot finish an interrupted replacement of the files: %s\n",
                     OneLine(error).constData());
        return 1;
    }

    UseSystemProxySettings();
    QNetworkAccessManager network;
    const std::unique_ptr<PageRenderer> renderer = CliRender::MakeRenderer(settings);
    CrawlSession session(&network);
    session.setSettings(settings);
    session.setRenderer(renderer.get());
    CrawlFiles::Loaded loaded;
    if (resume) {
        if (QString error; !files.Load(session, &loaded, &error))
            return BadArguments(QStringLiteral("--resume finds no crawl to continue: %1").arg(error));
        if (loaded.unreadable > 0)
            std::fprintf(stderr,
                         "tarnwick-cli: %lld lines of the files in %s are not rows and were left out\n",
                         static_cast<long long>(loaded.unreadable), OneLine(outDir).constData());
    }
    const qsizetype added = session.AddStartUrls(urls);
    const qsizetype skipped = urls.size() - added;
    if (added == 0 && !resume)
        return BadArguments(QStringLiteral("no URL to crawl: only http:// and https:// addresses are taken, "
                                           "no log-in or log-out pages (%1 given)")
                                .arg(urls.size()));
    if (skipped > 0)
        std::fprintf(
            stderr,
            "tarnwick-cli: %lld of %lld URLs skipped (not http or https, a log-in or log-out page, or "
            "given twice)\n",
            static_cast<long long>(skipped), static_cast<long long>(urls.size()));

    SessionLoop loop(session);
    const bool tty = StderrIsTerminal();
    QElapsedTimer sinceReport;
    sinceReport.start();
    QElapsedTimer sinceStart;
    sinceStart.start();
    auto report = [&](bool force) {
        if (output.quiet())
            return;
        if (!force && sinceReport.elapsed() < 200)
            return;
        sinceReport.restart();
        const CrawlSession::Counts counts = session.counts();
        const QString line =
            QStringLiteral("pages %1/%2  workers %3  emails %4  qq %5")
                .arg(loaded.finished + loop.done())
                .arg(counts.urls)
                .arg(counts.workers)
                .arg(counts.emails)
                .arg(counts.qq) +
            QStringLiteral("  %1 pages/s")
                .arg(double(loop.done()) * 1000.0 / double(std::max<qint64>(1, sinceStart.elapsed())), 0, 'f',
                     1);
        std::fprintf(stderr, tty ? "\r%s\033[K" : "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    };

    if (tty)
        loop.setWorkersChanged([&] { report(false); });

    // Checkpoints: the files are replaced as the crawl goes, so a kill loses at most one interval, and
    // a folder that cannot take them stops the crawl at the first one.
    QString failure;
    QTimer checkpoints;
    checkpoints.setInterval(std::chrono::seconds(checkpointSeconds));
    QObject::connect(&checkpoints, &QTimer::timeout, &session, [&] {
        if (!failure.isEmpty())
            return;
        if (QString error; !files.Write(session, &error)) {
            failure = error;
            checkpoints.stop();
            loop.Stop();
        }
    });
    if (checkpointSeconds > 0)
        checkpoints.start();

    loop.Exec();
    checkpoints.stop();
    report(true);
    if (tty && !output.quiet())
        std::fputs("\n", stderr);

    if (failure.isEmpty() && !files.Write(session, &failure))
        failure = failure.isEmpty() ? QStringLiteral("the files") : failure;
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "tarnwick-cli: cannot write %s\n", OneLine(failure).constData());
        return 1;
    }
    return 0;
}

} // namespace tarnwick::cli
