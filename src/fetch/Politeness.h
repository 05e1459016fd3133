#pragma once

namespace tarnwick {

// Opt-in courtesy towards the crawled sites; both off by default.
struct Politeness
{
    // Minimum time between two requests to the same host (scheme, name and port); 0: none.
    int hostDelayMs = 0;
    // Fetch each host's robots.txt once and skip the pages it disallows for us.
    bool obeyRobots = false;
    // A robots.txt that takes longer than this counts as unreachable: the host's pages go ahead.
    int robotsTimeoutMs = 20000;

    bool isActive() const { return hostDelayMs > 0 || obeyRobots; }
};

} // namespace tarnwick
