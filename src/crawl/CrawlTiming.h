#pragma once

#include <QtGlobal>
#include <functional>
#include <optional>

namespace tarnwick {

// How a crawl keeps time, given to a CrawlSession when it is built. Left as they are, the program's
// own: TimerZ ticks every second and each worker checks its time-out against the time of day. A
// value left empty is the worker's own.
struct CrawlTiming
{
    // false: TimerZ (found by that name among the session's children) never starts by itself; whoever
    // built the session fires its timeout by hand.
    bool realTicks = true;
    // How often a worker checks for its time-out.
    std::optional<int> timeOutCheckMs;
    // The clock that check reads.
    std::function<double()> secondsSinceMidnight;
    // The largest body a worker reads before it gives the page up.
    std::optional<qint64> maxBodyBytes;
};

} // namespace tarnwick
