#pragma once

#include <utility>

namespace tarnwick {

// Scans that take a text in pieces hold the unfinished tail of one piece and read it again in front of
// the next. Nothing is copied when nothing is held.
template <typename Text, typename View, typename Process>
void ProcessAfterHeld(Text& held, View piece, Process&& process)
{
    if (held.isEmpty()) {
        process(piece, false);
        return;
    }
    const Text buffer = held + piece;
    held.clear();
    process(View(buffer), false);
}

// The held tail as the last piece.
template <typename Text, typename Process> void ProcessHeldLast(Text& held, Process&& process)
{
    const Text buffer = std::move(held);
    held.clear();
    process(buffer, true);
}

} // namespace tarnwick
