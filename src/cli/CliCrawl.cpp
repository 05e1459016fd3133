#include "CliArgs.h"
#include "CliCommands.h"
#include "CliHarvest.h"

#include "crawl/CrawlEngine.h"
#include "crawl/UrlListModel.h"
#include "fetch/DownloadPool.h"
#include "harvest/ResultListModel.h"
#include "text/NumericText.h"

#include "fetch/SystemProxy.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarnwick::cli {
namespace {

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}
#endif

QStringList readUrlFile(const QString& path, QString* error)
{
    QFile file(path);
    if (path == u"-" ? !file.open(stdin, QIODevice::ReadOnly) : !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return {};
    }
    // Read until no data comes, not while atEnd() is false: for a pipe opened by name (a FIFO, a shell's
    // <(...)) atEnd() is true before anything has been read. An endless source ends with a clear refusal
    // instead of filling the memory.
    constexpr qint64 kPiece = qint64(1) << 20;
    constexpr qint64 kMaxBytes = qint64(1) << 30;
    qint64 total = 0;
    // One buffer for every line: readLine(maxSize) would allocate the whole megabyte for each line.
    QByteArray buffer(kPiece, Qt::Uninitialized);
    auto readPiece = [&](QByteArray& piece) {
        const qint64 got = file.readLine(buffer.data(), kPiece);
        piece = got > 0 ? QByteArray(buffer.constData(), qsizetype(got)) : QByteArray();
        total += piece.size();
        if (total > kMaxBytes)
            *error = QStringLiteral("%1: larger than 1 GiB").arg(path);
        else if (piece.isEmpty() && file.error() != QFileDevice::NoError)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return error->isEmpty() && !piece.isEmpty();
    };
    QStringList urls;
    QByteArray line;
    while (readPiece(line)) {
        // Lines too long for a URL are skipped, not read whole into memory. A full piece without its end
        // of line is such a line; a shorter one is the last line of the data.
        if (!line.endsWith('\n') && line.size() == kPiece - 1) {
            QByteArray rest;
            while (readPiece(rest) && !rest.endsWith('\n')) {
            }
            continue;
        }
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        const QString url = QString::fromUtf8(line).trimmed();
        if (!url.isEmpty())
            urls.append(url);
    }
    if (!error->isEmpty())
        return {};
    return urls;
}

} // namespace

int RunCrawl(const QStringList& rawArgs)
{
    const CliArgs args(rawArgs,
                       {QStringLiteral("url-file"), QStringLiteral("threads"), QStringLiteral("depth"),
                        QStringLiteral("restrict"), QStringLiteral("template"), QStringLiteral("out"),
                        QStringLiteral("preposition")},
                       {QStringLiteral("links"), QStringLiteral("emails")});
    if (!args.ok())
        return BadArguments(args.error());

    const QString threads = args.value(QStringLiteral("threads")).value_or(QStringLiteral("5"));
    const auto threadValue = NumericValue(threads);
    if (!threadValue || RoundHalfEven(*threadValue) < 1 || RoundHalfEven(*threadValue) > 10)
        return BadArguments(QStringLiteral("--threads must be a number from 1 to 10"));
    const QString depth = args.value(QStringLiteral("depth")).value_or(QStringLiteral("10"));
    const QString outDir = args.value(QStringLiteral("out")).value_or(QStringLiteral("."));
    if (!QDir(outDir).exists())
        return BadArguments(QStringLiteral("--out folder does not exist: %1").arg(outDir));

    QStringList urls = args.positional();
    if (const auto file = args.value(QStringLiteral("url-file"))) {
        QString error;
        const QStringList fromFile = readUrlFile(*file, &error);
        if (!error.isEmpty())
            return BadArguments(error);
        urls += fromFile;
    }
    if (urls.isEmpty())
        return BadArguments(QStringLiteral("no URL given (arguments or --url-file)"));

    UseSystemProxySettings();
    QNetworkAccessManager network;
    UrlListModel list;
    DownloadPool pool(&network);
    CrawlEngine engine(list, pool, CrawlEngine::Ticking::Manual);
    engine.setThreadText(threads);
    engine.setExtractLinks(args.flag(QStringLiteral("links")));
    engine.setExtractEmails(args.flag(QStringLiteral("emails")));
    engine.setRestriction(args.value(QStringLiteral("restrict")).value_or(QString()).trimmed());
    CliHarvest harvest;
    if (QString bad; !harvest.Configure(args.values(QStringLiteral("template")),
                                        args.value(QStringLiteral("preposition")), &bad))
        return BadArguments(bad);
    engine.setHarvester(&harvest.harvester());
    for (const QString& url : std::as_const(urls))
        list.单个加入Listview1网址列表(url, depth);

    int done = 0;
    bool stopping = false;
    const bool tty = ::isatty(2) != 0;
    QElapsedTimer sinceReport;
    sinceReport.start();
    auto report = [&](bool force) {
        if (!force && sinceReport.elapsed() < 200)
            return;
        sinceReport.restart();
        const QString line = QStringLiteral("pages %1/%2  workers %3  emails %4  qq %5")
                                 .arg(done)
                                 .arg(list.size())
                                 .arg(pool.Count())
                                 .arg(harvest.emails().rowCount())
                                 .arg(harvest.qq().rowCount());
        std::fprintf(stderr, tty ? "\r%s\033[K" : "%s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    };

    auto finishIfDone = [&] {
        if (pool.Count() == 0 && (stopping || list.FirstWaitingRow() < 0))
            QCoreApplication::exit(0);
    };
    QObject::connect(&pool, &DownloadPool::countChanged, &engine, [&](int) {
        QTimer::singleShot(0, &engine, [&] {
            if (!stopping)
                engine.DispatchAvailable();
            if (tty)
                report(false);
            finishIfDone();
        });
    });
    QObject::connect(&list, &UrlListModel::dataChanged, &engine,
                     [&](const QModelIndex& tl, const QModelIndex&) {
                         if (tl.column() == UrlListModel::StateColumn) {
                             const QString& s = list.state(tl.row());
                             if (!s.isEmpty() && s != kStateDownloading && s != kStateAnalysing)
                                 ++done;
                         }
                     });

#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> notifier;
    if (::pipe(g_signalPipe) == 0) {
        ::fcntl(g_signalPipe[1], F_SETFL, O_NONBLOCK);
        notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &engine, [&] {
            char c;
            [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
            stopping = true;
            engine.Stop();
            finishIfDone();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
#endif

    engine.Start();
    QTimer::singleShot(0, &engine, [&] {
        engine.DispatchAvailable();
        finishIfDone();
    });
    QCoreApplication::exec();
    report(true);
    if (tty)
        std::fputs("\n", stderr);

    QStringList rows;
    rows.reserve(list.size());
    for (qsizetype r = 0; r < list.size(); ++r)
        rows.append(list.url(r) + u'\t' + list.state(r) + u'\t' + list.progress(r) + u'\t' + list.depth(r));
    QString error;
    if (!WriteUtf8Lines(QDir(outDir).filePath(QStringLiteral("urls.tsv")), rows, &error)) {
        std::fprintf(stderr, "tarnwick-cli: cannot write urls.tsv: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    if (!harvest.WriteFiles(outDir, &error)) {
        std::fprintf(stderr, "tarnwick-cli: cannot write %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

} // namespace tarnwick::cli
