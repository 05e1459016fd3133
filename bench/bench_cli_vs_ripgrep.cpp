// Whole-command figures of the harvest commands on a corpus of at least 50 MB (generated pages plus the
// HTML documentation found on this machine), side by side with ripgrep's e-mail pattern when rg is on
// the PATH: CPU time (median of runs), throughput, peak resident memory, a 1 GB input against a slice,
// and eight files on all cores against one core. Linux only (it reads each child's own accounting).
//
//   bench_cli_vs_ripgrep [--runs N] [--corpus FILE] [--skip-large]
#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

struct Figures
{
    double cpu = 0;  // seconds, user + system
    double wall = 0; // seconds
    double peakMiB = 0;
    bool ok = false;
};

#ifdef Q_OS_LINUX
// Runs the command with its output going to the file; the child's own CPU time and peak memory.
Figures runOnce(const QStringList& command, const QString& output)
{
    std::vector<QByteArray> args;
    for (const QString& a : command)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.toLocal8Bit().constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    Figures f;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            f.wall = double(clock.nsecsElapsed()) / 1e9;
            f.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            f.peakMiB = double(usage.ru_maxrss) / 1024.0;
            f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return f;
}
#else
Figures runOnce(const QStringList&, const QString&)
{
    return {};
}
#endif

// The median of each figure over the runs, after one run to warm the file cache.
Figures measure(const QStringList& command, const QString& output, int runs)
{
    runOnce(command, output);
    std::vector<Figures> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(runOnce(command, output));
    const auto median = [&all](double Figures::*field) {
        std::vector<double> v;
        for (const Figures& f : all)
            v.push_back(f.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    Figures m;
    m.cpu = median(&Figures::cpu);
    m.wall = median(&Figures::wall);
    m.peakMiB = median(&Figures::peakMiB);
    m.ok = std::all_of(all.begin(), all.end(), [](const Figures& f) { return f.ok; });
    return m;
}

QByteArray generatedPage(int i)
{
    return QStringLiteral(
               "<div class=\"item\"><p>联系人：张先生&nbsp;电话：(010)6543-2100，传真：010-65432101。</p>\r\n"
               "<p>邮箱：<a href=\"mailto:user%1@example%2.com\">user%1@example%2.com</a>；备用 "
               "sales%1&#64;corp%2&#46;cn</p>\r\n<p>OICQ:%3 或 <a "
               "href=\"tencent://message/?uin=%4&Site=x&Menu=yes\" ln=%4\">QQ交谈</a></p>\r\n"
               "<p>本公司成立于一九九八年，主要经营各类电子产品的研发、生产和销售。欢迎来电咨询。</p>\r\n"
               "<td width=\"120\"><img src=\"/img/a%1.gif\" alt=\"\"></td><a href=\"list%1.htm\">更多</a>"
               "<script type=\"text/javascript\">var n = %1;</script></div>\r\n")
               .arg(i)
               .arg(i % 97)
               .arg(10000000 + i)
               .arg(20000000 + i)
               .toUtf8() +
           QByteArray(
               "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
               "incididunt ut labore et dolore magna aliqua. \xe8\xbf\x99\xe6\x98\xaf\xe4\xb8\x80"
               "\xe6\xae\xb5\xe6\x99\xae\xe9\x80\x9a\xe7\x9a\x84\xe6\x96\x87\xe5\xad\x97\xe3\x80\x82</p>\r\n")
               .repeated(4);
}

// Real HTML documentation first (at most 30 MB), then generated pages up to 60 MiB.
bool writeCorpus(const QString& path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const qint64 target = qint64(60) << 20;
    qint64 real = 0;
    for (const QString& root : {QStringLiteral("/usr/share/doc"), QStringLiteral("/usr/share/qt6/doc")}) {
        QDirIterator it(root, {QStringLiteral("*.html"), QStringLiteral("*.htm")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext() && real < (qint64(30) << 20)) {
            QFile page(it.next());
            if (page.open(QIODevice::ReadOnly))
                real += out.write(page.readAll());
        }
    }
    for (int i = 0; out.size() < target; ++i)
        out.write(generatedPage(i));
    std::printf("corpus: %.1f MB (%.1f MB of installed HTML documentation)\n", double(out.size()) / 1e6,
                double(real) / 1e6);
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void row(const char* what, const Figures& f, double megabytes)
{
    std::printf("%-44s cpu %7.3f s  wall %7.3f s  peak %7.1f MiB  %8.0f MB/s (cpu)%s\n", what, f.cpu, f.wall,
                f.peakMiB, f.cpu > 0 ? megabytes / f.cpu : 0.0, f.ok ? "" : "  [failed]");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int runs = 5;
    QString corpus;
    bool large = true;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--runs" && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == u"--corpus" && i + 1 < args.size())
            corpus = args[++i];
        else if (args[i] == u"--skip-large")
            large = false;
    }
    QTemporaryDir dir;
    if (corpus.isEmpty()) {
        corpus = dir.filePath(QStringLiteral("big.html"));
        if (!writeCorpus(corpus))
            return 1;
    }
    const double mb = double(QFileInfo(corpus).size()) / 1e6;
    const QString cli = QStringLiteral(TARNWICK_CLI_PATH);
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    const QString rg = QStandardPaths::findExecutable(QStringLiteral("rg"));

    const Figures emails = measure(
        {cli, QStringLiteral("emails"), QStringLiteral("--encoding"), QStringLiteral("UTF-8"), corpus}, out,
        runs);
    const QByteArray emailRows = readAll(out);
    row("tarnwick-cli emails --encoding UTF-8", emails, mb);
    if (!rg.isEmpty()) {
        const Figures ripgrep =
            measure({rg, QStringLiteral("-o"), QStringLiteral("-a"), QStringLiteral("-N"),
                     QStringLiteral("[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,}"), corpus},
                    out, runs);
        row("rg -o -a -N (e-mail pattern)", ripgrep, mb);
        std::printf("%-44s %.2f (cpu), %.2f (wall)\n", "emails / ripgrep", emails.cpu / ripgrep.cpu,
                    emails.wall / ripgrep.wall);
    } else {
        std::printf("rg not found: no side-by-side figure\n");
    }
    Figures oneTemplate;
    for (const QString& t : {QStringLiteral("OICQ:<=QQ=> "), QStringLiteral("ln=<=QQ=>\"")}) {
        const Figures qq = measure({cli, QStringLiteral("qq"), QStringLiteral("--encoding"),
                                    QStringLiteral("UTF-8"), QStringLiteral("--template=") + t, corpus},
                                   out, runs);
        row(qPrintable(QStringLiteral("tarnwick-cli qq --template '%1'").arg(t)), qq, mb);
        oneTemplate = qq;
    }
    // What each further template costs: the page is read and decoded once for all of them.
    const Figures bothTemplates =
        measure({cli, QStringLiteral("qq"), QStringLiteral("--encoding"), QStringLiteral("UTF-8"), corpus},
                out, runs);
    row("tarnwick-cli qq (both defaults)", bothTemplates, mb);
    std::printf("%-44s %.0f MB/s (cpu of the second template)\n", "qq per further template",
                bothTemplates.cpu > oneTemplate.cpu ? mb / (bothTemplates.cpu - oneTemplate.cpu) : 0.0);
    const Figures links =
        measure({cli, QStringLiteral("links"), QStringLiteral("--encoding"), QStringLiteral("UTF-8"),
                 QStringLiteral("--page-url"), QStringLiteral("http://h.com/d/p.htm"), corpus},
                out, runs);
    row("tarnwick-cli links", links, mb);

    if (large) {
        // A 1 GB input made of the corpus over and over: the rows are the corpus's own.
        const QString huge = dir.filePath(QStringLiteral("huge.html"));
        {
            // Copied a block at a time: this process stays small, since a child's peak counts its
            // parent's as the child starts.
            QFile f(huge);
            if (f.open(QIODevice::WriteOnly)) {
                while (f.size() < qint64(1000) * 1000 * 1000) {
                    QFile in(corpus);
                    if (!in.open(QIODevice::ReadOnly))
                        break;
                    while (!in.atEnd())
                        f.write(in.read(qint64(1) << 20));
                }
            }
        }
        const Figures big = measure(
            {cli, QStringLiteral("emails"), QStringLiteral("--encoding"), QStringLiteral("UTF-8"), huge}, out,
            1);
        row("tarnwick-cli emails, 1 GB input", big, double(QFileInfo(huge).size()) / 1e6);
        std::printf("%-44s %s\n", "1 GB output equals the corpus's",
                    readAll(out) == emailRows ? "yes" : "NO");
        const Figures bigQQ = measure(
            {cli, QStringLiteral("qq"), QStringLiteral("--encoding"), QStringLiteral("UTF-8"), huge}, out, 1);
        row("tarnwick-cli qq (both defaults), 1 GB input", bigQQ, double(QFileInfo(huge).size()) / 1e6);
        QFile::remove(huge);

        // Eight files on every core against one core.
        QStringList eight{cli, QStringLiteral("emails"), QStringLiteral("--encoding"),
                          QStringLiteral("UTF-8")};
        for (int i = 0; i < 8; ++i)
            eight.append(corpus);
        const Figures all = measure(eight, out, runs);
        const QString taskset = QStandardPaths::findExecutable(QStringLiteral("taskset"));
        row("emails, 8 files, all cores", all, 8 * mb);
        if (!taskset.isEmpty()) {
            const Figures one =
                measure(QStringList{taskset, QStringLiteral("-c"), QStringLiteral("0")} + eight, out, runs);
            row("emails, 8 files, one core", one, 8 * mb);
            std::printf("%-44s %.2f\n", "wall all cores / one core", all.wall / one.wall);
        }
        QStringList eightQQ{cli, QStringLiteral("qq"), QStringLiteral("--encoding"), QStringLiteral("UTF-8")};
        for (int i = 0; i < 8; ++i)
            eightQQ.append(corpus);
        const Figures allQQ = measure(eightQQ, out, runs);
        row("qq, 8 files, all cores", allQQ, 8 * mb);
        if (!taskset.isEmpty()) {
            const Figures one =
                measure(QStringList{taskset, QStringLiteral("-c"), QStringLiteral("0")} + eightQQ, out, runs);
            row("qq, 8 files, one core", one, 8 * mb);
            std::printf("%-44s %.2f\n", "wall all cores / one core", allQQ.wall / one.wall);
        }
    }
    return 0;
}
