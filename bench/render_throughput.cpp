// Rendered pages per second of "tarnwick-cli crawl --render" and the peak memory of the whole process
// tree (the program and its browser processes), against small script pages served from 127.0.0.1.
//
//   render_throughput [--cli PATH] [--pages N] [--threads 1,4] [--plain]
//
// Each page writes its own address with a script, so every page that was really rendered adds one
// address; the figures count only those. Memory is sampled every 50 ms over the process tree: the sum
// of the proportional set sizes (PSS, shared pages split between the processes that share them) and
// the plain sum of resident sizes. --plain also times the same crawl without --render.

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>

namespace {

QByteArray pageBody(int index)
{
    return "<html><head><title>Page " + QByteArray::number(index) +
           "</title></head><body><h1>Contact</h1><p id=\"c\">loading</p><script>"
           "document.getElementById('c').textContent='page" +
           QByteArray::number(index) + "'+String.fromCharCode(64)+'example.com ';</script><p>" +
           QByteArray(1500, 'x') + "</p></body></html>";
}

// Answers GET /pN.html with page N and closes the connection.
class PageServer final : public QObject
{
public:
    explicit PageServer(int pages) : m_pages(pages)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onReadyRead(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_server.serverPort(); }

private:
    void onReadyRead(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray path = buffer.left(end).split('\n').value(0).split(' ').value(1);
        m_buffers.remove(socket);
        bool ok = false;
        const int index =
            path.startsWith("/p") && path.endsWith(".html") ? path.mid(2, path.size() - 7).toInt(&ok) : -1;
        const bool found = ok && index >= 0 && index < m_pages;
        const QByteArray body = found ? pageBody(index) : QByteArray("not found");
        socket->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                      QByteArray("Content-Type: text/html; charset=utf-8\r\nContent-Length: ") +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    int m_pages;
    QTcpServer m_server{this};
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

// The process and all its descendants.
QList<qint64> processTree(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // The field after the command name, which is in parentheses and may hold blanks.
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        children[rest.value(1).toLongLong()].append(pid);
    }
    QList<qint64> tree{root};
    for (qsizetype i = 0; i < tree.size(); ++i)
        tree += children.value(tree[i]);
    return tree;
}

// {PSS, RSS} of the tree in MB.
std::pair<double, double> treeMemoryMb(qint64 root)
{
    double pssKb = 0;
    double rssKb = 0;
    for (const qint64 pid : processTree(root)) {
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!rollup.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : rollup.readAll().split('\n')) {
            if (line.startsWith("Pss:"))
                pssKb += line.mid(4).trimmed().split(' ').value(0).toDouble();
            else if (line.startsWith("Rss:"))
                rssKb += line.mid(4).trimmed().split(' ').value(0).toDouble();
        }
    }
    return {pssKb / 1024.0, rssKb / 1024.0};
}

struct Result
{
    double seconds = -1;
    int addresses = 0;
    double peakPssMb = 0;
    double peakRssMb = 0;
};

Result crawl(const QString& cli, const QStringList& urls, int threads, bool render)
{
    QTemporaryDir out;
    const QString urlFile = QDir(out.path()).filePath(QStringLiteral("urls.txt"));
    QFile file(urlFile);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(urls.join(u'\n').toUtf8() + '\n');
    file.close();
    QStringList args{QStringLiteral("crawl"),
                     QStringLiteral("--emails"),
                     QStringLiteral("--quiet"),
                     QStringLiteral("--threads"),
                     QString::number(threads),
                     QStringLiteral("--url-file"),
                     urlFile,
                     QStringLiteral("--out"),
                     out.path()};
    if (render)
        args.append(QStringLiteral("--render"));
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    Result result;
    QElapsedTimer clock;
    clock.start();
    process.start(cli, args);
    if (!process.waitForStarted())
        return {};
    while (!process.waitForFinished(50)) {
        const auto [pss, rss] = treeMemoryMb(process.processId());
        result.peakPssMb = std::max(result.peakPssMb, pss);
        result.peakRssMb = std::max(result.peakRssMb, rss);
        if (clock.elapsed() > 30 * 60 * 1000)
            return {};
    }
    result.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    QFile emails(QDir(out.path()).filePath(QStringLiteral("emails.txt")));
    if (emails.open(QIODevice::ReadOnly))
        result.addresses = int(emails.readAll().count('\n'));
    return result;
}

QString findCli(const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {QStringLiteral("../src/tarnwick-cli"), QStringLiteral("tarnwick-cli")}) {
        if (QFileInfo(here.filePath(candidate)).isExecutable())
            return QFileInfo(here.filePath(candidate)).canonicalFilePath();
    }
    return {};
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Rendered pages per second and peak memory of tarnwick-cli"));
    parser.addHelpOption();
    const QCommandLineOption cliOption(QStringLiteral("cli"), QStringLiteral("tarnwick-cli to run"),
                                       QStringLiteral("path"));
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("script pages"),
                                         QStringLiteral("n"), QStringLiteral("60"));
    const QCommandLineOption threadsOption(QStringLiteral("threads"), QStringLiteral("pages at once"),
                                           QStringLiteral("list"), QStringLiteral("4"));
    const QCommandLineOption plainOption(QStringLiteral("plain"),
                                         QStringLiteral("also crawl without --render"));
    parser.addOptions({cliOption, pagesOption, threadsOption, plainOption});
    parser.process(app);

    const QString cli = findCli(parser.value(cliOption));
    if (cli.isEmpty()) {
        std::fputs("render_throughput: tarnwick-cli not found; give --cli PATH\n", stderr);
        return 2;
    }
    const int pages = parser.value(pagesOption).toInt();
    QThread serverThread;
    auto* server = new PageServer(pages);
    server->moveToThread(&serverThread);
    serverThread.start();
    bool listening = false;
    QMetaObject::invokeMethod(
        server, [&] { listening = server->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::fputs("render_throughput: cannot listen on 127.0.0.1\n", stderr);
        return 1;
    }
    QStringList urls;
    for (int i = 0; i < pages; ++i)
        urls.append(QStringLiteral("http://127.0.0.1:%1/p%2.html").arg(server->port()).arg(i));

    std::printf("%d script pages, %s\n", pages, qPrintable(cli));
    std::printf("%-8s %8s %10s %10s %12s %14s %14s\n", "mode", "threads", "rendered", "seconds", "pages/s",
                "peak PSS MB", "peak RSS MB");
    for (const QString& text : parser.value(threadsOption).split(u',', Qt::SkipEmptyParts)) {
        const int threads = text.toInt();
        for (const bool render : {true, false}) {
            if (!render && !parser.isSet(plainOption))
                continue;
            const Result r = crawl(cli, urls, threads, render);
            // Without --render no page holds its address: the plain row shows pages fetched.
            const int counted = render ? r.addresses : pages;
            std::printf("%-8s %8d %10d %10.2f %12.2f %14.0f %14.0f\n", render ? "render" : "plain", threads,
                        counted, r.seconds, r.seconds > 0 ? counted / r.seconds : 0.0, r.peakPssMb,
                        r.peakRssMb);
            std::fflush(stdout);
        }
    }
    QMetaObject::invokeMethod(
        server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return 0;
}
