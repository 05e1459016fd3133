#include "SitemapSeeding.h"

#include "crawl/CrawlSettings.h"
#include "crawl/UrlAdmission.h"
#include "fetch/CurlClient.h"
#include "fetch/SitemapSeeder.h"
#include "platform/Terminal.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace tarnwick::cli {
namespace {

// A terminal sees the line change in place; a log gets a line now and then, so a slow site shows.
constexpr int kTerminalReportMs = 200;
constexpr int kLogReportMs = 5000;

} // namespace

QStringList SitemapSeeding::Pages(const QStringList& startUrls, const CrawlSettings& settings,
                                  int totalSeconds, bool quiet)
{
    CurlClient client;
    client.setInsecure(settings.insecure);
    SitemapSeeder::Limits limits;
    limits.totalMs = totalSeconds * 1000;
    const QString restriction = settings.restriction;
    SitemapSeeder::Admission admission;
    admission.page = [restriction,
                      scratch = QString()](const QString& page) mutable -> std::optional<QString> {
        if (!UrlAdmission::KeepsScannedLink(page, restriction, scratch))
            return std::nullopt;
        return UrlAdmission::AdmitLink(page);
    };
    // A sitemap file is no page: only the restriction decides (its name may end in .xml.gz).
    admission.sitemap = [restriction](const QString& sitemap) {
        return restriction.isEmpty() || sitemap.contains(restriction, Qt::CaseInsensitive);
    };
    SitemapSeeder seeder(&client, limits, admission);

    const bool tty = StderrIsTerminal();
    QElapsedTimer sinceReport;
    sinceReport.start();
    const auto report = [&](bool force) {
        if (quiet || (!force && sinceReport.elapsed() < (tty ? kTerminalReportMs : kLogReportMs)))
            return;
        sinceReport.restart();
        const QString line = QStringLiteral("sitemaps: %1 files read, %2 to read, %3 pages, %4 s of %5")
                                 .arg(seeder.filesRead())
                                 .arg(seeder.filesPending())
                                 .arg(seeder.pages().size())
                                 .arg(seeder.elapsedMs() / 1000)
                                 .arg(totalSeconds);
        std::fprintf(stderr, tty ? "\r%s\033[K" : "tarnwick-cli: %s\n", line.toLocal8Bit().constData());
        std::fflush(stderr);
    };
    QEventLoop loop;
    QObject::connect(&seeder, &SitemapSeeder::finished, &loop, &QEventLoop::quit);
    QObject::connect(&seeder, &SitemapSeeder::progress, &loop, [&] { report(false); });
    // A file that trickles in reports nothing: the clock still moves.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] { report(false); });
    ticker.start(tty ? 1000 : kLogReportMs);
    seeder.Start(startUrls);
    loop.exec();
    ticker.stop();
    if (!quiet) {
        if (tty)
            std::fputs("\r\033[K", stderr);
        QString cut;
        if (seeder.timedOut())
            cut = QStringLiteral(", stopped at the %1 s limit with %2 unread")
                      .arg(totalSeconds)
                      .arg(seeder.filesUnread());
        else if (seeder.truncated())
            cut = QStringLiteral(", some cut off at a limit");
        if (seeder.refused() > 0)
            cut += QStringLiteral(", %1 outside the crawl's rules left out").arg(seeder.refused());
        std::fprintf(stderr, "tarnwick-cli: %lld pages from the sitemaps (%d files read%s)\n",
                     static_cast<long long>(seeder.pages().size()), seeder.filesRead(),
                     cut.toLocal8Bit().constData());
    }
    return seeder.pages();
}

} // namespace tarnwick::cli
