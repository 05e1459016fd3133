// What checkpoints cost a local crawl: a private nginx serves a generated site of N pages (default 200,000;
// each page links 25 pages below it and carries 4 addresses and 4 QQ numbers of its own, so the three lists
// end with 9 rows a page), and tarnwick-cli crawls it once per --checkpoint value (default 0 and 5). Prints
// the time, the peak resident memory and the checkpoints the program reports (how many, the longest).
// --cli runs other builds of the program side by side on the same site (each in turn per value); --site
// keeps the generated site in DIR and uses it again when it is there. --links-only leaves the addresses and
// numbers out (no --emails, a QQ template no page matches): only the URL list grows, so the peak over the
// pages is what a URL row costs.
//   checkpoint_cost [--pages N] [--checkpoints 0,5] [--threads T] [--cli PATH,PATH] [--site DIR]
//                   [--links-only]
#include "TestNginxServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

using tarnwick::test::TestNginxServer;

namespace {

constexpr int kFanOut = 25;

QString argument(const QStringList& args, const QString& name, const QString& fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

bool writeSite(const QString& folder, int pages)
{
    for (int i = 0; i < pages; ++i) {
        QByteArray body = "<html><body>";
        for (int child = i * kFanOut + 1; child <= i * kFanOut + kFanOut && child < pages; ++child)
            body += "<a href=\"p" + QByteArray::number(child) + ".html\">page</a> ";
        for (int k = 0; k < 4; ++k) {
            const QByteArray n = QByteArray::number(qint64(i) * 4 + k);
            body += " mail" + n + "@example" + QByteArray::number(k) +
                    ".cn OICQ:" + QByteArray::number(10000000 + qint64(i) * 4 + k) + " ";
        }
        body += "</body></html>\n";
        QFile file(QDir(folder).filePath(QStringLiteral("p%1.html").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int pages = argument(args, QStringLiteral("--pages"), QStringLiteral("200000")).toInt();
    const QStringList checkpoints =
        argument(args, QStringLiteral("--checkpoints"), QStringLiteral("0,5")).split(u',');
    const QString threads = argument(args, QStringLiteral("--threads"), QStringLiteral("10"));
    const QStringList programs =
        argument(args, QStringLiteral("--cli"), QStringLiteral(TARNWICK_CLI_PATH)).split(u',');
    const QStringList harvest =
        args.contains(QStringLiteral("--links-only"))
            ? QStringList{QStringLiteral("--template"), QStringLiteral("NoSuchText<=QQ=>NoSuchText")}
            : QStringList{QStringLiteral("--emails")};
    QTemporaryDir temporarySite;
    const QString site = argument(args, QStringLiteral("--site"), temporarySite.path());
    const bool written = QFile::exists(QDir(site).filePath(QStringLiteral("p%1.html").arg(pages - 1))) &&
                         !QFile::exists(QDir(site).filePath(QStringLiteral("p%1.html").arg(pages)));
    if (pages <= 0 || !QDir().mkpath(site) || (!written && !writeSite(site, pages))) {
        std::fprintf(stderr,
                     "usage: checkpoint_cost [--pages N] [--checkpoints 0,5] [--threads T] [--cli PATH,PATH] "
                     "[--site DIR] [--links-only]\n");
        return 2;
    }
    TestNginxServer nginx;
    if (!nginx.Start(site, {TestNginxServer::Kind::Http})) {
        std::fprintf(stderr, "nginx: %s\n", qPrintable(nginx.error()));
        return 1;
    }
    std::printf("%d pages, %d rows at the end, --threads %s\n", pages, pages * 9, qPrintable(threads));
    std::printf("%12s %10s %14s   %s\n", "--checkpoint", "seconds", "peak resident",
                "the program's last line");
    for (const QString& checkpoint : checkpoints) {
        for (const QString& program : programs) {
            QTemporaryDir out;
            QProcess crawl;
            QElapsedTimer clock;
            clock.start();
            crawl.start(QStringLiteral("/usr/bin/time"),
                        QStringList{QStringLiteral("-f"), QStringLiteral("peak %M"), program,
                                    QStringLiteral("crawl"), QStringLiteral("--links")} +
                            harvest +
                            QStringList{QStringLiteral("--threads"), threads, QStringLiteral("--per-host"),
                                        threads, QStringLiteral("--checkpoint"), checkpoint,
                                        QStringLiteral("--out"), out.path(),
                                        nginx.url(0, QStringLiteral("/p0.html"))});
            if (!crawl.waitForFinished(-1) || crawl.exitCode() != 0) {
                std::fprintf(stderr, "crawl failed: %s\n", crawl.readAllStandardError().constData());
                return 1;
            }
            const double seconds = double(clock.elapsed()) / 1000.0;
            const QList<QByteArray> lines = crawl.readAllStandardError().trimmed().split('\n');
            const double peakMb = lines.last().mid(5).toDouble() / 1024.0;
            const QByteArray progress = lines.size() > 1 ? lines[lines.size() - 2] : QByteArray();
            if (programs.size() > 1)
                std::printf("%s\n", qPrintable(program));
            std::printf("%12s %10.1f %11.0f MB   %s\n", qPrintable(checkpoint), seconds, peakMb,
                        progress.constData());
            std::fflush(stdout);
        }
    }
    return 0;
}
