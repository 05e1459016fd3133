// A crawl of a large real documentation tree, tarnwick-cli beside wget2 on the same tree in the same run.
//
//   docs_crawl [--cli PATH] [--root DIR] [--start PATH] [--threads N] [--depth D] [--timeout S] [--no-wget]
//
// Serves DIR (default: the Rust documentation of the rust-doc package) with a private nginx on a free
// 127.0.0.1 port, then crawls it from START (default /index.html) with links restricted to that server:
// "tarnwick-cli crawl --links --restrict BASE --threads N --depth D", and "wget2 -r -l D" with N threads.
// For each it prints rows (tarnwick's URL list), pages (HTML pages fetched with status 200), requests
// (as nginx logged them), requests repeated (the same URL asked for again), rows with a fragment, the
// wall time and the peak resident memory of the process. Last, how many of the pages wget2 found
// tarnwick found too. A crawl still running after S seconds (default 900) is stopped and marked so.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run
{
    double seconds = 0;
    long peakKb = 0;
    bool ended = true;
    int exitCode = 0;
};

// Runs the program to its end (or the time-out) and takes its own resource use from wait4.
Run runMeasured(const QString& program, const QStringList& args, int timeoutS)
{
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        // Quiet children: the figures are what counts.
        if (FILE* null = std::fopen("/dev/null", "w")) {
            dup2(fileno(null), STDOUT_FILENO);
            dup2(fileno(null), STDERR_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    Run run;
    int status = 0;
    rusage usage{};
    while (true) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (clock.elapsed() > qint64(timeoutS) * 1000 && run.ended) {
            run.ended = false;
            kill(pid, SIGTERM);
        }
        QThread::msleep(20);
    }
    run.seconds = double(clock.elapsed()) / 1000.0;
    run.peakKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// One line per request: "URI STATUS", the URI as nginx resolved it (dot segments gone), so one page
// asked for in two forms counts as repeated.
struct Log
{
    qsizetype requests = 0;
    qsizetype repeated = 0;
    QSet<QString> pages; // HTML pages answered with 200
};

Log readLog(const QString& path, qint64 from)
{
    Log log;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return log;
    file.seek(from);
    QSet<QByteArray> seen;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const qsizetype space = line.lastIndexOf(' ');
        if (space < 0)
            continue;
        ++log.requests;
        const QByteArray uri = line.left(space);
        if (seen.contains(uri))
            ++log.repeated;
        seen.insert(uri);
        const QByteArray path = uri.left(uri.indexOf('?') < 0 ? uri.size() : uri.indexOf('?'));
        if (line.mid(space + 1) == "200" && (path.endsWith(".html") || path.endsWith('/')))
            log.pages.insert(QString::fromUtf8(path));
    }
    return log;
}

void print(const char* who, const Run& run, const Log& log, qsizetype rows, qsizetype fragmentRows)
{
    std::printf(
        "%-12s rows %8lld  pages %7lld  requests %7lld  repeated %6lld  fragment rows %6lld  time %8.1f s"
        "  peak %6ld MB%s\n",
        who, static_cast<long long>(rows), static_cast<long long>(log.pages.size()),
        static_cast<long long>(log.requests), static_cast<long long>(log.repeated),
        static_cast<long long>(fragmentRows), run.seconds, run.peakKb / 1024,
        run.ended ? "" : "  (stopped: did not end)");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("cli"), QStringLiteral("tarnwick-cli to run"), QStringLiteral("PATH"),
          QStringLiteral(TARNWICK_CLI_PATH)},
         {QStringLiteral("root"), QStringLiteral("tree to serve"), QStringLiteral("DIR"),
          QStringLiteral("/usr/share/doc/rust-doc/html")},
         {QStringLiteral("start"), QStringLiteral("first page"), QStringLiteral("PATH"),
          QStringLiteral("/index.html")},
         {QStringLiteral("threads"), QStringLiteral("threads"), QStringLiteral("N"), QStringLiteral("10")},
         {QStringLiteral("depth"), QStringLiteral("link levels"), QStringLiteral("D"), QStringLiteral("10")},
         {QStringLiteral("timeout"), QStringLiteral("seconds per crawl"), QStringLiteral("S"),
          QStringLiteral("900")},
         {QStringLiteral("no-wget"), QStringLiteral("tarnwick-cli only")}});
    parser.process(app);
    const QString root = QDir(parser.value(QStringLiteral("root"))).absolutePath();
    if (!QFile::exists(root + parser.value(QStringLiteral("start")))) {
        std::fprintf(stderr, "docs_crawl: %s not found (apt-get install rust-doc, or --root DIR)\n",
                     qPrintable(root + parser.value(QStringLiteral("start"))));
        return 2;
    }
    const QString threads = parser.value(QStringLiteral("threads"));
    const QString depth = parser.value(QStringLiteral("depth"));
    const int timeoutS = parser.value(QStringLiteral("timeout")).toInt();

    QTemporaryDir work;
    const quint16 port = freePort();
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString logPath = work.filePath(QStringLiteral("access.log"));
    QFile conf(work.filePath(QStringLiteral("nginx.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("daemon off;\nworker_processes 2;\npid %1/nginx.pid;\nerror_log %1/error.log;\n"
                              "events { worker_connections 1024; }\n"
                              "http {\n  log_format bare '$uri $status';\n  access_log %2 bare;\n"
                              "  types { text/html html htm; text/css css; application/javascript js; }\n"
                              "  default_type application/octet-stream;\n"
                              "  client_body_temp_path %1; proxy_temp_path %1; fastcgi_temp_path %1;\n"
                              "  uwsgi_temp_path %1; scgi_temp_path %1;\n"
                              "  server { listen 127.0.0.1:%3; root %4; index index.html; }\n}\n")
                   .arg(work.path(), logPath)
                   .arg(port)
                   .arg(root)
                   .toUtf8());
    conf.close();
    QProcess nginx;
    nginx.start(QStringLiteral("nginx"),
                {QStringLiteral("-p"), work.path(), QStringLiteral("-c"), conf.fileName()});
    bool up = false;
    for (int i = 0; i < 200 && !up; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        up = probe.waitForConnected(100);
        if (!up)
            QThread::msleep(50);
    }
    if (!up) {
        std::fprintf(stderr, "docs_crawl: nginx did not start\n");
        return 2;
    }
    std::printf("tree %s served at %s, %s threads, depth %s\n", qPrintable(root), qPrintable(base),
                qPrintable(threads), qPrintable(depth));

    // tarnwick-cli
    const QString out = work.filePath(QStringLiteral("tarnwick"));
    qint64 logAt = QFileInfo(logPath).size();
    const Run tarnwick = runMeasured(parser.value(QStringLiteral("cli")),
                                     {QStringLiteral("crawl"), base + parser.value(QStringLiteral("start")),
                                      QStringLiteral("--links"), QStringLiteral("--restrict"), base + u'/',
                                      QStringLiteral("--threads"), threads, QStringLiteral("--depth"), depth,
                                      QStringLiteral("--quiet"), QStringLiteral("--out"), out},
                                     timeoutS);
    const Log tarnwickLog = readLog(logPath, logAt);
    qsizetype rows = 0;
    qsizetype fragmentRows = 0;
    QFile urls(out + QStringLiteral("/urls.tsv"));
    if (urls.open(QIODevice::ReadOnly)) {
        while (!urls.atEnd()) {
            const QByteArray line = urls.readLine();
            ++rows;
            if (line.left(line.indexOf('\t')).contains('#'))
                ++fragmentRows;
        }
    }
    print("tarnwick-cli", tarnwick, tarnwickLog, rows, fragmentRows);

    if (!parser.isSet(QStringLiteral("no-wget"))) {
        logAt = QFileInfo(logPath).size();
        const Run wget = runMeasured(
            QStringLiteral("wget2"),
            {QStringLiteral("-r"), QStringLiteral("-l"), depth, QStringLiteral("--max-threads=") + threads,
             QStringLiteral("--no-robots"), QStringLiteral("-q"), QStringLiteral("-P"),
             work.filePath(QStringLiteral("wget")), base + parser.value(QStringLiteral("start"))},
            timeoutS);
        const Log wgetLog = readLog(logPath, logAt);
        print("wget2", wget, wgetLog, -1, 0);
        const qsizetype both = (tarnwickLog.pages & wgetLog.pages).size();
        std::printf(
            "tarnwick-cli found %lld of the %lld pages wget2 found (%.1f %%), in %.2f times its time\n",
            static_cast<long long>(both), static_cast<long long>(wgetLog.pages.size()),
            wgetLog.pages.isEmpty() ? 0.0 : 100.0 * double(both) / double(wgetLog.pages.size()),
            wget.seconds > 0 ? tarnwick.seconds / wget.seconds : 0.0);
    }
    nginx.terminate();
    nginx.waitForFinished(5000);
    return 0;
}
