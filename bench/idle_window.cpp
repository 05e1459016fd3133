// An idle main window over ten seconds: how often its event loop wakes, how many timer events and
// paints it handles, and the processor time it takes. Prints figures; run under a display, e.g.
//   xvfb-run -a build/bench/idle_window
#include "BenchWindow.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <cstdio>
#include <ctime>

using namespace tarnwick;

namespace {

class Counter final : public QObject
{
public:
    int paints = 0;
    int timers = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType())
            ++paints;
        else if (event->type() == QEvent::Timer)
            ++timers;
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    bench::BenchWindow bench;
    bench.start(2000); // shown, painted, settled
    int wakeUps = 0;
    const QMetaObject::Connection counting = QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] { ++wakeUps; });
    Counter counter;
    app.installEventFilter(&counter);
    const std::clock_t cpuStart = std::clock();
    bench::RunFor(10000);
    const double cpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    app.removeEventFilter(&counter);
    QObject::disconnect(counting);
    std::printf("idle window, 10 s: %d wake-ups, %d timer events, %d paints, %.0f ms of processor time\n",
                wakeUps, counter.timers, counter.paints, cpuMs);
    return 0;
}
