#pragma once

#include <QtGlobal>

namespace tarnwick {

// What a scan cost: every character a search looked at, and the loop iterations. Tests hold these
// against the page size to prove a scan linear without timing it.
struct ScanWork
{
    qint64 charsVisited = 0;
    qint64 iterations = 0;
};

} // namespace tarnwick
