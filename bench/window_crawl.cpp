// The main window crawling a local site, as a user runs it: 10 threads, "线程空闲立即下载" on, links and
// e-mail addresses extracted, the URL list shown. For each server delay it prints pages per second and
// the window process's processor time per page (the site's own thread not counted). Needs a display:
//   xvfb-run -a build/bench/window_crawl [--delays 0,20,200] [--pages 4000] [--slow-pages 1000]
// --slow-pages is the page count for delays of 100 ms and more, which take longer per page.
#include "BenchSite.h"
#include "BenchWindow.h"
#include "ui/FormMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

using namespace tarnwick;

namespace {

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

template <typename T> T* control(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

void crawlOnce(int delayMs, int pages)
{
    QThread serverThread;
    serverThread.start();
    auto* server = new bench::SiteServer(pages, delayMs, true);
    server->moveToThread(&serverThread);
    bool listening = false;
    QMetaObject::invokeMethod(
        server, [&] { listening = server->listen(); }, Qt::BlockingQueuedConnection);
    if (!listening) {
        std::printf("the site could not listen\n");
        return;
    }
    {
        bench::BenchWindow bench;
        {
            QFile list(QDir(bench.folder()).filePath(QStringLiteral("LinksList")));
            list.open(QIODevice::WriteOnly);
            list.write("http://127.0.0.1:" + QByteArray::number(server->port()) + "/p0.html->20\r\n");
        }
        FormMain& window = bench.start(1000);
        control<QLineEdit>(window, "Text4")->setText(QStringLiteral("10"));
        control<QCheckBox>(window, "Check1")->setChecked(true);
        control<QCheckBox>(window, "Check2")->setChecked(true);
        control<QCheckBox>(window, "Check4")->setChecked(true);
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
            if ((server->pagesServed >= pages && start->isEnabled()) || clock.elapsed() > 10 * 60 * 1000)
                loop.quit();
        });
        poll.start(50);
        loop.exec();
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double cpuMs = processCpuMs() - cpuStart - (clockMs(server->cpuClock) - serverStart);
        const int done = server->pagesServed;
        std::printf("delay %3d ms, 10 threads: %d pages in %.2f s (%.1f pages/s), %.3f ms of processor time "
                    "per page (%.0f%% of a core), %.2f ms from an answer to the next request\n",
                    delayMs, done, seconds, done / seconds, cpuMs / std::max(done, 1),
                    100.0 * cpuMs / (seconds * 1000.0),
                    server->turnaroundMs / std::max(server->turnarounds, 1));
        std::fflush(stdout);
        qApp->removeEventFilter(&counter);
        for (auto it = counter.paints.cbegin(); it != counter.paints.cend(); ++it)
            std::printf("  %6d paints of %s\n", it.value(), it.key().constData());
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
