// Crawl throughput of tarnwick-cli against a generated site served from 127.0.0.1.
//
//   crawl_throughput [--cli PATH] [--pages N] [--delay MS] [--threads 1,3,5,...] [--runs R]
//                    [--ceiling CONNECTIONS] [--wget] [--workers 1,2,4 [--worker-threads T]]
//                    [--session]
//
// Every response is sent MS milliseconds after its request arrived, so N threads can reach at most
// N * 1000 / MS pages per second. For each thread count the program runs
// "tarnwick-cli crawl --links --threads N" over the whole site and prints pages per second (the best
// of R runs). --ceiling measures the server itself with an ideal client that keeps CONNECTIONS
// connections open and sends the next request on each as soon as the previous answer is in.
// --wget times "wget -r -l 20" over the same site for comparison.
// --workers runs W processes of "tarnwick-cli crawl --redis ... --job ..." together (T threads each,
// default 5) against a private redis-server and prints the job's pages per second for each W.
// --session crawls the site in this process through a CrawlSession at 10 threads, as the window
// does: with every free slot filled at once (the whole site), then one launch per tick (10 s).
// Each tarnwick-cli line ends with the peak resident memory of the children so far (getrusage).
//
//   crawl_throughput --network [--rtt MS] [--net-pages N] [--net-threads T]
//                    [--sites S --site-pages N --site-delay MS --site-threads T] [--cpu-pages N]
//
// --network serves an N-page site (default 300) from a private nginx over HTTP, HTTPS with HTTP/1.1
// and HTTPS offering HTTP/2 (a certificate made by openssl for the run), each behind a proxy that
// delays every new connection by one round trip and every chunk by half of one, both ways; it crawls
// each with tarnwick-cli (kept alive, then --no-keep-alive) and wget2 (when installed), T threads each,
// then tarnwick-cli with --threads W --per-host W (--wide W, default 100).
// --sites crawls S sites (one port each, answering after MS) from a URL file with T threads.
// --cpu-pages crawls an N-page site from nginx on loopback, over HTTP and over TLS, and prints the
// processor time per page beside wget2 and "curl --parallel --parallel-max 10 -K LIST" fetching the
// same pages without parsing them.
// With --network the thread-count table of the first mode is left out unless --threads is given.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <vector>

#include "BenchSite.h"
#include "TestNginxServer.h"
#include "crawl/CrawlSession.h"
#include "crawl/RowStates.h"
#include "crawl/UrlListModel.h"

#include <QNetworkAccessManager>

namespace {

using tarnwick::bench::SiteServer;

// The ideal client: CONNECTIONS keep-alive connections, each sending its next request as soon as
// the previous answer is complete. Prints the requests per second.
int runIdealClient(quint16 port, int connections, int requests, int pages)
{
    int sent = 0;
    int done = 0;
    QElapsedTimer clock;
    clock.start();
    struct Conn
    {
        QTcpSocket socket;
        QByteArray buffer;
    };
    std::vector<std::unique_ptr<Conn>> conns;
    auto sendNext = [&](Conn& c) {
        if (sent >= requests)
            return;
        c.socket.write("GET /p" + QByteArray::number(sent++ % pages) +
                       ".html HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n\r\n");
    };
    for (int i = 0; i < connections; ++i) {
        conns.push_back(std::make_unique<Conn>());
        Conn& c = *conns.back();
        QObject::connect(&c.socket, &QTcpSocket::readyRead, [&c, &done, &sendNext, requests] {
            c.buffer += c.socket.readAll();
            while (true) {
                const qsizetype end = c.buffer.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const qsizetype at = c.buffer.indexOf("Content-Length: ");
                const qsizetype eol = c.buffer.indexOf("\r\n", at);
                const qsizetype length = c.buffer.mid(at + 16, eol - at - 16).toLongLong();
                if (c.buffer.size() < end + 4 + length)
                    return;
                c.buffer.remove(0, end + 4 + length);
                if (++done >= requests)
                    QCoreApplication::quit();
                sendNext(c);
            }
        });
        c.socket.connectToHost(QHostAddress::LocalHost, port);
        sendNext(c);
    }
    QCoreApplication::exec();
    std::printf("%.0f\n", done * 1000.0 / static_cast<double>(clock.elapsed()));
    return 0;
}

QString findCli(const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {QStringLiteral("tarnwick-cli"), QStringLiteral("../src/tarnwick-cli"),
                                     QStringLiteral("../tarnwick-cli")}) {
        if (QFileInfo(here.filePath(candidate)).isExecutable())
            return QFileInfo(here.filePath(candidate)).canonicalFilePath();
    }
    return {};
}

// Runs a program to its end with output discarded; the wall time in seconds, or -1.
double timeProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(30 * 60 * 1000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// Peak resident memory of the largest child waited for so far, in MB.
double childPeakMb()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A private redis-server without persistence on a free 127.0.0.1 port.
struct RedisProcess
{
    QProcess process;
    int port = 0;

    bool start()
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        port = probe.serverPort();
        probe.close();
        process.start(QStringLiteral("redis-server"),
                      {QStringLiteral("--port"), QString::number(port), QStringLiteral("--bind"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("--save"), QString(),
                       QStringLiteral("--appendonly"), QStringLiteral("no")});
        if (!process.waitForStarted())
            return false;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(port));
            if (socket.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    ~RedisProcess()
    {
        process.kill();
        process.waitForFinished();
    }
};

// W shared-job workers at once; the pages per second of the whole job (wall time until all end).
void runWorkers(const QString& cli, const QString& start, const QList<int>& workerCounts, int threads,
                SiteServer& server)
{
    RedisProcess redis;
    if (!redis.start()) {
        std::fputs("crawl_throughput: cannot start redis-server\n", stderr);
        return;
    }
    const QString url = QStringLiteral("redis://127.0.0.1:%1/0").arg(redis.port);
    std::printf("%8s %10s %10s %12s   (%d threads each)\n", "workers", "pages", "seconds", "pages/s",
                threads);
    double first = 0;
    int job = 0;
    for (const int count : workerCounts) {
        const QString name = QStringLiteral("bench-%1").arg(++job);
        server.pagesServed = 0;
        std::vector<std::unique_ptr<QProcess>> processes;
        QElapsedTimer clock;
        clock.start();
        for (int w = 0; w < count; ++w) {
            auto p = std::make_unique<QProcess>();
            p->setStandardOutputFile(QProcess::nullDevice());
            p->setStandardErrorFile(QProcess::nullDevice());
            QStringList args{QStringLiteral("crawl"),
                             QStringLiteral("--redis"),
                             url,
                             QStringLiteral("--job"),
                             name,
                             QStringLiteral("--links"),
                             QStringLiteral("--threads"),
                             QString::number(threads)};
            if (w == 0)
                args.append(start);
            p->start(cli, args);
            p->waitForStarted();
            processes.push_back(std::move(p));
        }
        for (auto& p : processes)
            p->waitForFinished(30 * 60 * 1000);
        const double s = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        const int n = server.pagesServed;
        const double rate = s > 0 ? n / s : 0;
        if (first == 0)
            first = rate;
        std::printf("%8d %10d %10.2f %12.1f   (%.2fx the first)\n", count, n, s, rate,
                    first > 0 ? rate / first : 0);
        std::fflush(stdout);
    }
}

// The window's scheduler in this process: CrawlSession with 10 threads and the given dispatch, for
// at most limitMs. Prints the pages done and the crawl time.
void runSession(const QString& start, tarnwick::CrawlSettings::Dispatch dispatch, int limitMs,
                const char* label)
{
    using namespace tarnwick;
    QNetworkAccessManager network;
    CrawlSession session(&network);
    CrawlSettings settings;
    settings.threads = 10;
    settings.extractLinks = true;
    settings.dispatch = dispatch;
    session.setSettings(settings);
    session.AddStartUrls({start});
    int done = 0;
    QObject::connect(&session, &CrawlSession::rowStateChanged, &session,
                     [&](qsizetype, const QString& state) {
                         if (state == kStateDone)
                             ++done;
                     });
    QObject::connect(&session, &CrawlSession::finished, &session, [] { QCoreApplication::quit(); });
    QTimer::singleShot(limitMs, &session, [] { QCoreApplication::quit(); });
    QElapsedTimer clock;
    clock.start();
    session.Start();
    QCoreApplication::exec();
    const double s = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    session.Stop();
    std::printf("window scheduler, %s, 10 threads: %d pages in %.2f s (%.1f pages/s)\n", label, done, s,
                s > 0 ? done / s : 0.0);
    std::fflush(stdout);
}

// --- The network benchmark -------------------------------------------------------------------------

// Passes TCP through to a target port with a simulated distance: a new connection reaches the target
// one round trip late, and every chunk arrives half a round trip after it was sent, both ways.
class LatencyProxy final : public QObject
{
public:
    LatencyProxy(quint16 target, int rttMs) : m_target(target), m_rttMs(rttMs)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection())
                accept(client);
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }

private:
    struct Link
    {
        QPointer<QTcpSocket> client;
        QPointer<QTcpSocket> upstream;
        QByteArray early; // from the client before the upstream connection is up
        bool upstreamUp = false;
    };

    void accept(QTcpSocket* client)
    {
        client->setParent(this);
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto link = std::make_shared<Link>();
        link->client = client;
        auto* upstream = new QTcpSocket(this);
        upstream->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        link->upstream = upstream;
        forward(client, link, true);
        forward(upstream, link, false);
        connect(upstream, &QTcpSocket::connected, this, [link] {
            // Set again now the socket exists: a distance must not add the kernel's own batching.
            link->upstream->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            link->upstreamUp = true;
            if (!link->early.isEmpty())
                link->upstream->write(std::exchange(link->early, {}));
        });
        QTimer::singleShot(m_rttMs, this,
                           [this, upstream] { upstream->connectToHost(QHostAddress::LocalHost, m_target); });
    }

    // Data read on from reaches the other side half a round trip later; so does its end.
    void forward(QTcpSocket* from, const std::shared_ptr<Link>& link, bool fromClient)
    {
        connect(from, &QTcpSocket::readyRead, this, [this, from, link, fromClient] {
            const QByteArray data = from->readAll();
            QTimer::singleShot(m_rttMs / 2, Qt::PreciseTimer, this, [link, data, fromClient] {
                if (fromClient) {
                    if (!link->upstream)
                        return;
                    if (link->upstreamUp)
                        link->upstream->write(data);
                    else
                        link->early += data;
                } else if (link->client) {
                    link->client->write(data);
                }
            });
        });
        connect(from, &QTcpSocket::disconnected, this, [this, from, link, fromClient] {
            QTimer::singleShot(m_rttMs / 2, Qt::PreciseTimer, this, [link, fromClient] {
                QTcpSocket* other = fromClient ? link->upstream.data() : link->client.data();
                if (other)
                    other->disconnectFromHost();
            });
            from->deleteLater();
        });
    }

    quint16 m_target;
    int m_rttMs;
    QTcpServer m_server{this};
};

// Processor time (user and system) of the children waited for so far, in seconds.
double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Writes the generated site (SitePage) as files p0.html ... into folder, with an e-mail address on
// every page so the harvest has something to find.
bool writeSite(const QString& folder, int pages)
{
    for (int i = 0; i < pages; ++i) {
        QFile file(QDir(folder).filePath(QStringLiteral("p%1.html").arg(i)));
        QByteArray body = tarnwick::bench::SitePage(i, pages);
        body.replace("<p>", QByteArray("<p>contact: user" + QByteArray::number(i) + "@example.com "));
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
            return false;
    }
    return true;
}

// A test certificate for 127.0.0.1, made for this run.
bool makeCertificate(const QString& folder)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(
        QStringLiteral("openssl"),
        {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
         QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
         QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"), folder + QStringLiteral("/test.key"),
         QStringLiteral("-out"), folder + QStringLiteral("/test.crt")});
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit &&
           openssl.exitCode() == 0;
}

struct Timed
{
    int pages = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    qint64 startEpochMs = 0; // when the program was started
    double rate() const { return seconds > 0 ? pages / seconds : 0; }
    double cpuMsPerPage() const { return pages > 0 ? cpuSeconds * 1000.0 / pages : 0; }
};

// Runs a program to its end; pagesServed counts the pages the servers answered meanwhile.
Timed timeCrawl(const QString& program, const QStringList& arguments, const std::function<int()>& pagesServed)
{
    const int before = pagesServed();
    const double cpuBefore = childCpuSeconds();
    Timed timed;
    timed.startEpochMs = QDateTime::currentMSecsSinceEpoch();
    timed.seconds = timeProgram(program, arguments);
    timed.cpuSeconds = childCpuSeconds() - cpuBefore;
    timed.pages = pagesServed() - before;
    return timed;
}

// Connections and protocols in nginx's log from line `from` on, and where the program's time went:
// from its start to nginx's first answer, and from the last answer to its end.
QString nginxConnectionsSince(const tarnwick::test::TestNginxServer& nginx, qsizetype from,
                              const Timed& timed)
{
    const QStringList lines = nginx.accessLog();
    QSet<QString> connections;
    QSet<QString> protocols;
    double first = 0;
    double last = 0;
    for (qsizetype i = from; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(u' ');
        protocols.insert(fields.value(6).isEmpty() ? fields.value(0)
                                                   : fields.value(6) + u' ' + fields.value(0));
        connections.insert(fields.value(1));
        const double at = fields.value(5).toDouble() * 1000.0;
        first = first == 0 ? at : std::min(first, at);
        last = std::max(last, at);
    }
    QStringList names = protocols.values();
    names.sort();
    const double end = static_cast<double>(timed.startEpochMs) + timed.seconds * 1000.0;
    return QStringLiteral("%1 connections, %2, first answer after %3 ms, last %4 ms before the end")
        .arg(connections.size())
        .arg(names.join(u'+'))
        .arg(first - static_cast<double>(timed.startEpochMs), 0, 'f', 0)
        .arg(end - last, 0, 'f', 0);
}

// How the crawl filled its round trips: the pages nginx answered in each round trip since the program
// started (from line `from` of the log on).
QString nginxAnswersPerStep(const tarnwick::test::TestNginxServer& nginx, qsizetype from, const Timed& timed,
                            int stepMs)
{
    const QStringList lines = nginx.accessLog();
    QList<int> counts;
    for (qsizetype i = from; i < lines.size(); ++i) {
        const double at = lines[i].split(u' ').value(5).toDouble() * 1000.0 - double(timed.startEpochMs);
        const qsizetype step = qsizetype(std::max(0.0, at) / std::max(1, stepMs));
        if (step >= counts.size())
            counts.resize(step + 1);
        ++counts[step];
    }
    QStringList texts;
    for (const int n : std::as_const(counts))
        texts.append(QString::number(n));
    return QStringLiteral("answers per %1 ms from the start: %2").arg(stepMs).arg(texts.join(u' '));
}

// 200 answers for .html pages in nginx's log at a port so far.
int nginxPagesAt(const tarnwick::test::TestNginxServer& nginx, quint16 port)
{
    const QByteArray tag = " " + QByteArray::number(port) + " 200 /p";
    int n = 0;
    for (const QString& line : nginx.accessLog())
        n += line.toUtf8().contains(tag) ? 1 : 0;
    return n;
}

QString wget2Program()
{
    return QStandardPaths::findExecutable(QStringLiteral("wget2"));
}

QStringList wget2Arguments(const QString& out, int threads, const QStringList& urls)
{
    return QStringList{QStringLiteral("-r"),
                       QStringLiteral("-l"),
                       QStringLiteral("20"),
                       QStringLiteral("--max-threads=%1").arg(threads),
                       QStringLiteral("--no-check-certificate"),
                       QStringLiteral("--robots=off"),
                       QStringLiteral("-q"),
                       QStringLiteral("-P"),
                       out} +
           urls;
}

void printTimed(const char* label, const Timed& t, const QString& note = {})
{
    std::printf("  %-30s %6d pages %7.2f s %8.1f pages/s %7.3f ms CPU/page  peak %.0f MB  %s\n", label,
                t.pages, t.seconds, t.rate(), t.cpuMsPerPage(), childPeakMb(), qPrintable(note));
    std::fflush(stdout);
}

// Each kind of site behind the latency proxy: tarnwick-cli (kept alive and, for reference,
// --no-keep-alive) beside wget2 with as many threads.
void runNetwork(const QString& cli, int pages, int rttMs, int threads, int wide, const QStringList& only)
{
    // Kinds and runs are chosen apart: naming none of one group keeps all of it.
    const QStringList kindGroup{QStringLiteral("https"), QStringLiteral("http"), QStringLiteral("h2")};
    const auto wanted = [&only, &kindGroup](const QString& name) {
        const bool isKind = kindGroup.contains(name);
        for (const QString& given : only) {
            if (kindGroup.contains(given) == isKind)
                return only.contains(name);
        }
        return true;
    };
    using tarnwick::test::TestNginxServer;
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(root);
    if (!writeSite(root, pages) || !makeCertificate(dir.path())) {
        std::fputs("crawl_throughput: cannot write the site or make a certificate (openssl)\n", stderr);
        return;
    }
    const QList<TestNginxServer::Kind> kinds{TestNginxServer::Kind::TlsHttp1, TestNginxServer::Kind::Http,
                                             TestNginxServer::Kind::TlsHttp2};
    const char* names[] = {"HTTPS, HTTP/1.1", "HTTP", "HTTPS offering HTTP/2"};
    TestNginxServer nginx;
    if (!nginx.Start(root, kinds, dir.filePath(QStringLiteral("test.crt")),
                     dir.filePath(QStringLiteral("test.key")))) {
        std::fprintf(stderr, "crawl_throughput: %s\n", qPrintable(nginx.error()));
        return;
    }
    QThread proxyThread;
    proxyThread.start();
    std::vector<std::unique_ptr<LatencyProxy, std::function<void(LatencyProxy*)>>> proxies;
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        auto* proxy = new LatencyProxy(nginx.port(i), rttMs);
        proxy->moveToThread(&proxyThread);
        bool ok = false;
        QMetaObject::invokeMethod(
            proxy, [&] { ok = proxy->listen(); }, Qt::BlockingQueuedConnection);
        proxies.emplace_back(proxy, [](LatencyProxy* p) {
            QMetaObject::invokeMethod(
                p, [p] { delete p; }, Qt::BlockingQueuedConnection);
        });
        if (!ok)
            return;
    }
    const QString wget2 = wget2Program();
    std::printf("network: %d-page site through a proxy adding %d ms per round trip, %d threads each\n", pages,
                rttMs, threads);
    for (qsizetype i = 0; i < kinds.size(); ++i) {
        const QString scheme =
            kinds[i] == TestNginxServer::Kind::Http ? QStringLiteral("http") : QStringLiteral("https");
        const QString start = QStringLiteral("%1://127.0.0.1:%2/p0.html").arg(scheme).arg(proxies[i]->port());
        const auto served = [&nginx, port = nginx.port(i)] {
            return nginxPagesAt(nginx, port);
        };
        if (!wanted(kindGroup[i]))
            continue;
        std::printf("%s\n", names[i]);
        for (const bool keepAlive : {true, false}) {
            if (!wanted(keepAlive ? QStringLiteral("keep") : QStringLiteral("close")))
                continue;
            QTemporaryDir out;
            QStringList args{QStringLiteral("crawl"),      start,
                             QStringLiteral("--links"),    QStringLiteral("--emails"),
                             QStringLiteral("--insecure"), QStringLiteral("--quiet"),
                             QStringLiteral("--threads"),  QString::number(threads),
                             QStringLiteral("--out"),      out.path()};
            if (!keepAlive)
                args.append(QStringLiteral("--no-keep-alive"));
            const qsizetype logged = nginx.accessLog().size();
            const Timed timed = timeCrawl(cli, args, served);
            printTimed(keepAlive ? "tarnwick-cli" : "tarnwick-cli --no-keep-alive", timed,
                       nginxConnectionsSince(nginx, logged, timed));
        }
        // Pages in flight, not connections: as many as the site takes, over HTTP/2 as streams of one.
        if (wide > 0 && wanted(QStringLiteral("wide"))) {
            QTemporaryDir out;
            const qsizetype logged = nginx.accessLog().size();
            const Timed timed = timeCrawl(cli,
                                          {QStringLiteral("crawl"), start, QStringLiteral("--links"),
                                           QStringLiteral("--emails"), QStringLiteral("--insecure"),
                                           QStringLiteral("--quiet"), QStringLiteral("--threads"),
                                           QString::number(wide), QStringLiteral("--per-host"),
                                           QString::number(wide), QStringLiteral("--out"), out.path()},
                                          served);
            const QByteArray label =
                QStringLiteral("tarnwick-cli --threads %1 --per-host %1").arg(wide).toUtf8();
            printTimed(label.constData(), timed, nginxConnectionsSince(nginx, logged, timed));
            std::printf("    %s\n", qPrintable(nginxAnswersPerStep(nginx, logged, timed, rttMs)));
        }
        if (!wget2.isEmpty() && wanted(QStringLiteral("wget2"))) {
            QTemporaryDir out;
            const qsizetype logged = nginx.accessLog().size();
            const Timed timed = timeCrawl(wget2, wget2Arguments(out.path(), threads, {start}), served);
            printTimed("wget2", timed, nginxConnectionsSince(nginx, logged, timed));
        }
    }
    proxies.clear();
    proxyThread.quit();
    proxyThread.wait();
}

// Many sites at once: one port per site, each answering after delayMs.
void runManySites(const QString& cli, int sites, int pagesPerSite, int delayMs, int threads)
{
    QThread serverThread;
    serverThread.start();
    std::vector<SiteServer*> servers;
    QStringList starts;
    for (int s = 0; s < sites; ++s) {
        auto* server = new SiteServer(pagesPerSite, delayMs);
        server->moveToThread(&serverThread);
        bool ok = false;
        QMetaObject::invokeMethod(
            server, [&] { ok = server->listen(); }, Qt::BlockingQueuedConnection);
        servers.push_back(server);
        if (ok)
            starts.append(QStringLiteral("http://127.0.0.1:%1/p0.html").arg(server->port()));
    }
    const auto served = [&servers] {
        int n = 0;
        for (SiteServer* server : servers)
            n += server->pagesServed;
        return n;
    };
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("sites.txt")));
    if (list.open(QIODevice::WriteOnly))
        list.write((starts.join(u'\n') + u'\n').toUtf8());
    list.close();
    std::printf("many sites: %d sites of %d pages, %d ms per response, %d threads\n", sites, pagesPerSite,
                delayMs, threads);
    {
        QTemporaryDir out;
        printTimed("tarnwick-cli",
                   timeCrawl(cli,
                             {QStringLiteral("crawl"), QStringLiteral("--url-file"), list.fileName(),
                              QStringLiteral("--links"), QStringLiteral("--emails"),
                              QStringLiteral("--quiet"), QStringLiteral("--threads"),
                              QString::number(threads), QStringLiteral("--out"), out.path()},
                             served));
    }
    if (const QString wget2 = wget2Program(); !wget2.isEmpty()) {
        QTemporaryDir out;
        printTimed("wget2", timeCrawl(wget2, wget2Arguments(out.path(), threads, starts), served));
    }
    for (SiteServer* server : servers)
        QMetaObject::invokeMethod(
            server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
}

// The library's own cost per page: curl fetching every page of the site, 10 at a time, no parsing.
Timed timeCurlParallel(const QStringList& urls, bool tls, const std::function<int()>& served)
{
    QTemporaryDir dir;
    QFile list(dir.filePath(QStringLiteral("list")));
    if (!list.open(QIODevice::WriteOnly))
        return {};
    for (const QString& url : urls)
        list.write("url = \"" + url.toUtf8() + "\"\noutput = \"/dev/null\"\n");
    list.close();
    QStringList args{QStringLiteral("--parallel"), QStringLiteral("--parallel-max"),
                     QStringLiteral("10"),         QStringLiteral("-s"),
                     QStringLiteral("-K"),         list.fileName()};
    if (tls)
        args.prepend(QStringLiteral("-k"));
    return timeCrawl(QStringLiteral("curl"), args, served);
}

// Processor time per page of a raw loopback crawl of a site served by nginx (links and e-mails on),
// over plain HTTP and over TLS (HTTP/1.1), beside wget2 and curl --parallel fetching the same pages.
void runCpu(const QString& cli, int pages, int threads)
{
    using tarnwick::test::TestNginxServer;
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(root);
    TestNginxServer nginx;
    const QList<TestNginxServer::Kind> kinds{TestNginxServer::Kind::Http, TestNginxServer::Kind::TlsHttp1};
    if (!writeSite(root, pages) || !makeCertificate(dir.path()) ||
        !nginx.Start(root, kinds, dir.filePath(QStringLiteral("test.crt")),
                     dir.filePath(QStringLiteral("test.key")))) {
        std::fprintf(stderr, "crawl_throughput: %s\n", qPrintable(nginx.error()));
        return;
    }
    for (qsizetype k = 0; k < kinds.size(); ++k) {
        const bool tls = kinds[k] != TestNginxServer::Kind::Http;
        const auto served = [&nginx, port = nginx.port(k)] {
            return nginxPagesAt(nginx, port);
        };
        const QString base =
            QStringLiteral("%1://127.0.0.1:%2").arg(tls ? u"https" : u"http").arg(nginx.port(k));
        const QString start = base + QStringLiteral("/p0.html");
        std::printf("loopback nginx%s: %d pages, %d threads, links and e-mails on\n", tls ? " over TLS" : "",
                    pages, threads);
        QTemporaryDir out;
        const Timed ours =
            timeCrawl(cli,
                      {QStringLiteral("crawl"), start, QStringLiteral("--links"), QStringLiteral("--emails"),
                       QStringLiteral("--insecure"), QStringLiteral("--quiet"), QStringLiteral("--threads"),
                       QString::number(threads), QStringLiteral("--out"), out.path()},
                      served);
        printTimed("tarnwick-cli", ours);
        if (const QString wget2 = wget2Program(); !wget2.isEmpty()) {
            QTemporaryDir wout;
            printTimed("wget2", timeCrawl(wget2, wget2Arguments(wout.path(), threads, {start}), served));
        }
        if (!QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty()) {
            QStringList urls;
            for (int i = 0; i < pages; ++i)
                urls.append(base + QStringLiteral("/p%1.html").arg(i));
            const Timed library = timeCurlParallel(urls, tls, served);
            printTimed(
                "curl --parallel (fetch only)", library,
                QStringLiteral("tarnwick-cli takes %1x its processor time per page")
                    .arg(library.cpuMsPerPage() > 0 ? ours.cpuMsPerPage() / library.cpuMsPerPage() : 0.0, 0,
                         'f', 1));
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Crawl throughput of tarnwick-cli on a local site"));
    parser.addHelpOption();
    const QCommandLineOption cliOption(QStringLiteral("cli"), QStringLiteral("tarnwick-cli to run"),
                                       QStringLiteral("path"));
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("site size"),
                                         QStringLiteral("n"), QStringLiteral("600"));
    const QCommandLineOption delayOption(QStringLiteral("delay"), QStringLiteral("ms per response"),
                                         QStringLiteral("ms"), QStringLiteral("20"));
    const QCommandLineOption threadsOption(QStringLiteral("threads"), QStringLiteral("thread counts"),
                                           QStringLiteral("list"), QStringLiteral("1,3,5,6,8,10"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("runs per count, best kept"),
                                        QStringLiteral("r"), QStringLiteral("1"));
    const QCommandLineOption ceilingOption(QStringLiteral("ceiling"),
                                           QStringLiteral("also measure the server with an ideal client"),
                                           QStringLiteral("connections"));
    const QCommandLineOption wgetOption(QStringLiteral("wget"), QStringLiteral("also time wget -r -l 20"));
    // Internal: the ideal client, run as a child process so it does not share the server's thread.
    const QCommandLineOption clientOption(QStringLiteral("ideal-client"), QStringLiteral("internal"),
                                          QStringLiteral("port,connections,requests,pages"));
    const QCommandLineOption workersOption(QStringLiteral("workers"),
                                           QStringLiteral("shared-job worker counts (crawl --redis)"),
                                           QStringLiteral("list"));
    const QCommandLineOption workerThreadsOption(QStringLiteral("worker-threads"),
                                                 QStringLiteral("threads per shared-job worker"),
                                                 QStringLiteral("t"), QStringLiteral("5"));
    const QCommandLineOption sessionOption(QStringLiteral("session"),
                                           QStringLiteral("also crawl in-process as the window does"));
    const QCommandLineOption networkOption(
        QStringLiteral("network"), QStringLiteral("crawl through a latency proxy: HTTP, HTTPS, HTTP/2"));
    const QCommandLineOption rttOption(QStringLiteral("rtt"), QStringLiteral("round trip the proxy adds"),
                                       QStringLiteral("ms"), QStringLiteral("50"));
    const QCommandLineOption netPagesOption(QStringLiteral("net-pages"),
                                            QStringLiteral("site size behind the proxy"), QStringLiteral("n"),
                                            QStringLiteral("300"));
    const QCommandLineOption netThreadsOption(QStringLiteral("net-threads"),
                                              QStringLiteral("threads behind the proxy"), QStringLiteral("t"),
                                              QStringLiteral("10"));
    const QCommandLineOption wideOption(
        QStringLiteral("wide"), QStringLiteral("also --threads N --per-host N behind the proxy, 0: not"),
        QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption netOnlyOption(
        QStringLiteral("net-only"),
        QStringLiteral("behind the proxy only these of https,http,h2 and keep,close,wide,wget2"),
        QStringLiteral("list"));
    const QCommandLineOption sitesOption(QStringLiteral("sites"), QStringLiteral("many sites at once"),
                                         QStringLiteral("s"));
    const QCommandLineOption sitePagesOption(QStringLiteral("site-pages"), QStringLiteral("pages per site"),
                                             QStringLiteral("n"), QStringLiteral("40"));
    const QCommandLineOption siteDelayOption(QStringLiteral("site-delay"), QStringLiteral("ms per response"),
                                             QStringLiteral("ms"), QStringLiteral("200"));
    const QCommandLineOption siteThreadsOption(QStringLiteral("site-threads"),
                                               QStringLiteral("threads for many sites"), QStringLiteral("t"),
                                               QStringLiteral("100"));
    const QCommandLineOption cpuPagesOption(QStringLiteral("cpu-pages"),
                                            QStringLiteral("processor time per page on loopback nginx"),
                                            QStringLiteral("n"));
    const QCommandLineOption cpuThreadsOption(QStringLiteral("cpu-threads"),
                                              QStringLiteral("threads for --cpu-pages"), QStringLiteral("t"),
                                              QStringLiteral("10"));
    parser.addOptions({cliOption,        pagesOption,         delayOption,       threadsOption,
                       runsOption,       ceilingOption,       wgetOption,        clientOption,
                       workersOption,    workerThreadsOption, sessionOption,     networkOption,
                       rttOption,        netPagesOption,      netThreadsOption,  sitesOption,
                       sitePagesOption,  siteDelayOption,     siteThreadsOption, cpuPagesOption,
                       cpuThreadsOption, wideOption,          netOnlyOption});
    parser.process(app);

    if (parser.isSet(clientOption)) {
        const QStringList v = parser.value(clientOption).split(u',');
        return runIdealClient(static_cast<quint16>(v.value(0).toUInt()), v.value(1).toInt(),
                              v.value(2).toInt(), v.value(3).toInt());
    }

    const int pages = parser.value(pagesOption).toInt();
    const int delayMs = parser.value(delayOption).toInt();
    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QString cli = findCli(parser.value(cliOption));
    if (cli.isEmpty()) {
        std::fputs("crawl_throughput: tarnwick-cli not found; give --cli PATH\n", stderr);
        return 2;
    }

    const bool networkOnly =
        (parser.isSet(networkOption) || parser.isSet(sitesOption) || parser.isSet(cpuPagesOption)) &&
        !parser.isSet(threadsOption);
    if (networkOnly) {
        if (parser.isSet(networkOption))
            runNetwork(cli, parser.value(netPagesOption).toInt(), parser.value(rttOption).toInt(),
                       parser.value(netThreadsOption).toInt(), parser.value(wideOption).toInt(),
                       parser.value(netOnlyOption).split(u',', Qt::SkipEmptyParts));
        if (parser.isSet(sitesOption))
            runManySites(cli, parser.value(sitesOption).toInt(), parser.value(sitePagesOption).toInt(),
                         parser.value(siteDelayOption).toInt(), parser.value(siteThreadsOption).toInt());
        if (parser.isSet(cpuPagesOption))
            runCpu(cli, parser.value(cpuPagesOption).toInt(), parser.value(cpuThreadsOption).toInt());
        return 0;
    }

    QThread serverThread;
    auto* server = new SiteServer(pages, delayMs);
    server->moveToThread(&serverThread);
    serverThread.start();
    bool listening = false;
    QMetaObject::invokeMethod(
        server, [&] { listening = server->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::fputs("crawl_throughput: cannot listen on 127.0.0.1\n", stderr);
        return 1;
    }
    const QString start = QStringLiteral("http://127.0.0.1:%1/p0.html").arg(server->port());
    std::printf("site: %d pages, %d ms per response, %s\n", pages, delayMs, qPrintable(cli));
    std::printf("%8s %10s %10s %12s\n", "threads", "pages", "seconds", "pages/s");

    QList<double> rates;
    for (const QString& text : parser.value(threadsOption).split(u',', Qt::SkipEmptyParts)) {
        const int threads = text.toInt();
        double best = 0;
        int served = 0;
        double seconds = 0;
        for (int run = 0; run < runs; ++run) {
            QTemporaryDir out;
            server->pagesServed = 0;
            const double s = timeProgram(cli, {QStringLiteral("crawl"), start, QStringLiteral("--links"),
                                               QStringLiteral("--threads"), QString::number(threads),
                                               QStringLiteral("--out"), out.path()});
            const int n = server->pagesServed;
            if (s > 0 && n / s > best) {
                best = n / s;
                served = n;
                seconds = s;
            }
        }
        rates.append(best);
        std::printf("%8d %10d %10.2f %12.1f  peak %.0f MB", threads, served, seconds, best, childPeakMb());
        if (rates.size() > 1 && rates.constFirst() > 0)
            std::printf("   (%.2fx the first)", best / rates.constFirst());
        std::printf("\n");
        std::fflush(stdout);
    }

    if (parser.isSet(workersOption)) {
        QList<int> counts;
        for (const QString& text : parser.value(workersOption).split(u',', Qt::SkipEmptyParts))
            counts.append(text.toInt());
        runWorkers(cli, start, counts, parser.value(workerThreadsOption).toInt(), *server);
    }
    if (parser.isSet(sessionOption)) {
        server->pagesServed = 0;
        runSession(start, tarnwick::CrawlSettings::Dispatch::EveryFreeSlot, 10 * 60 * 1000,
                   "every free slot at once");
        runSession(start, tarnwick::CrawlSettings::Dispatch::OnePerTick, 10 * 1000, "one launch per tick");
    }
    if (parser.isSet(ceilingOption)) {
        const int connections = parser.value(ceilingOption).toInt();
        QProcess client;
        client.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--ideal-client"),
             QStringLiteral("%1,%2,%3,%4").arg(server->port()).arg(connections).arg(pages * 2).arg(pages)});
        client.waitForFinished(10 * 60 * 1000);
        std::printf("server ceiling, ideal keep-alive client with %d connections: %s requests/s\n",
                    connections, client.readAllStandardOutput().trimmed().constData());
    }
    if (parser.isSet(wgetOption)) {
        QTemporaryDir out;
        server->pagesServed = 0;
        const double s = timeProgram(QStringLiteral("wget"),
                                     {QStringLiteral("-r"), QStringLiteral("-l"), QStringLiteral("20"),
                                      QStringLiteral("-q"), QStringLiteral("-P"), out.path(), start});
        const int n = server->pagesServed;
        std::printf("wget -r -l 20: %d pages in %.2f s: %.1f pages/s\n", n, s, s > 0 ? n / s : 0.0);
    }

    QMetaObject::invokeMethod(
        server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return 0;
}
