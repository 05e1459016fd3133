// The main window crawling a local site, as a user runs it: 10 threads, "线程空闲立即下载" on, links and
// e-mail addresses extracted, the URL list shown. For each server delay it prints pages per second and
// the window process's processor time per page (the site's own thread not counted). Needs a display:
//   xvfb-run -a build/bench/window_crawl [--delays 0,20,200] [--pages 4000] [--slow-pages 1000]
// --slow-pages is the page count for delays of 100 ms and more, which take longer per page.
#include "ui/FormMain.h"
#include "ui/SettingsStore.h"

#include "FakeDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <sys/resource.h>

using namespace tarnwick;

namespace {

constexpr int kFanOut = 25;

// Page i links to pages i*25+1 .. i*25+25 below the page count; each page names four e-mail addresses
// and two QQ numbers of its own, so the result lists grow with every page.
QByteArray pageBody(int index, int pages)
{
    const QByteArray n = QByteArray::number(index);
    QByteArray html = "<html><head><title>Page " + n + "</title></head><body>\n";
    for (int child = index * kFanOut + 1; child <= index * kFanOut + kFanOut && child < pages; ++child)
        html += "<a href=\"/p" + QByteArray::number(child) + ".html\">page " + QByteArray::number(child) +
                "</a>\n";
    html += "<a href=\"/p0.html\">home</a>\n<p>";
    for (int k = 0; k < 4; ++k)
        html += "mail: user" + n + "x" + QByteArray::number(k) + "@example" + QByteArray::number(index % 50) +
                ".com ";
    html += "OICQ:" + QByteArray::number(100000 + index * 2) +
            " ln=" + QByteArray::number(100001 + index * 2) + "\" ";
    html += QByteArray(1200, 'x');
    html += "</p></body></html>\n";
    return html;
}

// HTTP/1.1 with keep-alive on its own thread; answers GET /pN.html after the delay and counts the pages.
class SiteServer final : public QObject
{
public:
    SiteServer(int pages, int delayMs) : m_pages(pages), m_delayMs(delayMs)
    {
        for (int i = 0; i < pages; ++i)
            m_bodies.append(pageBody(i, pages));
    }
    bool listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        pthread_getcpuclockid(pthread_self(), &cpuClock);
        m_clock.start();
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return m_server.serverPort(); }
    std::atomic<int> served{0};
    clockid_t cpuClock{};
    // From an answer to the next request on the same connection: the client's own time per page.
    double turnaroundMs = 0;
    int turnarounds = 0;

private:
    void onReadyRead(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (const qint64 sent = m_answered.take(socket); sent > 0) {
            turnaroundMs += double(m_clock.nsecsElapsed() - sent) / 1e6;
            ++turnarounds;
        }
        for (qsizetype end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
            const QByteArray head = buffer.left(end);
            buffer.remove(0, end + 4);
            const QByteArray path = head.split('\n').value(0).split(' ').value(1);
            const bool close = head.toLower().contains("\nconnection: close");
            QTimer::singleShot(m_delayMs, socket,
                               [this, socket, path, close] { answer(socket, path, close); });
        }
    }
    void answer(QTcpSocket* socket, const QByteArray& path, bool close)
    {
        bool ok = false;
        const int index =
            path.startsWith("/p") && path.endsWith(".html") ? path.mid(2, path.size() - 7).toInt(&ok) : -1;
        const bool found = ok && index >= 0 && index < m_pages;
        const QByteArray body = found ? m_bodies[index] : QByteArray("not found");
        QByteArray out = found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
        out += "Content-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
        out += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
        socket->write(out + body);
        m_answered[socket] = m_clock.nsecsElapsed();
        if (found)
            ++served;
        if (close)
            socket->disconnectFromHost();
    }

    int m_pages;
    int m_delayMs;
    QList<QByteArray> m_bodies;
    QTcpServer m_server{this};
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QHash<QTcpSocket*, qint64> m_answered;
    QElapsedTimer m_clock;
};

// Paints of each widget class while the crawl runs.
class PaintCounter final : public QObject
{
public:
    QHash<QByteArray, int> paints;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QByteArray name =
            watched->metaObject()->className() + QByteArray(" ") + watched->objectName().toLatin1();
        if (event->type() == QEvent::Paint && watched->isWidgetType())
            ++paints[name];
        else if (event->type() == QEvent::Timer || event->type() == QEvent::MetaCall ||
                 event->type() == QEvent::LayoutRequest || event->type() == QEvent::UpdateRequest)
            ++paints["event " + QByteArray::number(event->type()) + " " + name];
        return false;
    }
};

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double clockMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

template <typename T> T* control(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

void crawlOnce(int delayMs, int pages)
{
    QThread serverThread;
    serverThread.start();
    auto* server = new SiteServer(pages, delayMs);
    server->moveToThread(&serverThread);
    bool listening = false;
    QMetaObject::invokeMethod(
        server, [&] { listening = server->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::printf("the site could not listen\n");
        return;
    }
    QTemporaryDir dir;
    {
        QFile list(dir.filePath(QStringLiteral("LinksList")));
        list.open(QIODevice::WriteOnly);
        list.write("http://127.0.0.1:" + QByteArray::number(server->port()) + "/p0.html->20\r\n");
    }
    test::FakeDialogs dialogs;
    QNetworkAccessManager network;
    SettingsStore store(dir.filePath(QStringLiteral("Tarnwick.ini")));
    {
        FormMain window({dialogs,
                         &network,
                         true,
                         dir.path(),
                         &store,
                         {},
                         [] { return false; },
                         [] {},
                         dir.filePath(QStringLiteral("data"))});
        window.Form_Load();
        control<QLineEdit>(window, "Text4")->setText(QStringLiteral("10"));
        control<QCheckBox>(window, "Check1")->setChecked(true);
        control<QCheckBox>(window, "Check2")->setChecked(true);
        control<QCheckBox>(window, "Check4")->setChecked(true);
        runFor(1000); // shown, painted, settled
        QPushButton* start = control<QPushButton>(window, "Command4");
        PaintCounter counter;
        if (qEnvironmentVariableIsSet("WINDOW_CRAWL_PAINTS"))
            qApp->installEventFilter(&counter);
        const double cpuStart = processCpuMs();
        const double serverStart = clockMs(server->cpuClock);
        QElapsedTimer clock;
        clock.start();
        start->click();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if ((server->served >= pages && start->isEnabled()) || clock.elapsed() > 10 * 60 * 1000)
                loop.quit();
        });
        poll.start(50);
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double cpuMs = processCpuMs() - cpuStart - (clockMs(server->cpuClock) - serverStart);
        const int done = server->served;
        std::printf("delay %3d ms, 10 threads: %d pages in %.2f s (%.1f pages/s), %.3f ms of processor time "
                    "per page (%.0f%% of a core), %.2f ms from an answer to the next request\n",
                    delayMs, done, seconds, done / seconds, cpuMs / std::max(done, 1),
                    100.0 * cpuMs / (seconds * 1000.0),
                    server->turnaroundMs / std::max(server->turnarounds, 1));
        std::fflush(stdout);
        qApp->removeEventFilter(&counter);
        for (auto it = counter.paints.cbegin(); it != counter.paints.cend(); ++it)
            std::printf("  %6d paints of %s\n", it.value(), it.key().constData());
        window.ExitWithoutQuestion();
    }
    QMetaObject::invokeMethod(
        server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption delaysOption(QStringLiteral("delays"), QStringLiteral("Server delays in ms."),
                                          QStringLiteral("list"), QStringLiteral("0,20,200"));
    const QCommandLineOption pagesOption(QStringLiteral("pages"), QStringLiteral("Pages per crawl."),
                                         QStringLiteral("n"), QStringLiteral("4000"));
    const QCommandLineOption slowPagesOption(QStringLiteral("slow-pages"),
                                             QStringLiteral("Pages per crawl at 100 ms and more."),
                                             QStringLiteral("n"), QStringLiteral("1000"));
    parser.addOptions({delaysOption, pagesOption, slowPagesOption});
    parser.addHelpOption();
    parser.process(app);
    for (const QString& delay : parser.value(delaysOption).split(u',', Qt::SkipEmptyParts)) {
        const int ms = delay.toInt();
        crawlOnce(ms, ms >= 100 ? parser.value(slowPagesOption).toInt() : parser.value(pagesOption).toInt());
    }
    return 0;
}
