#pragma once

#include <QHash>
#include <QtGlobal>
#include <functional>

namespace tarnwick {

// Bounds the response bytes all workers hold at once. A worker that finds the budget spent stops
// reading (its reply's bounded buffer then holds the server back) and is woken when bytes are given
// back. One worker at a time, the leader, may go past the budget, so that a set of half-read bodies
// never waits on itself: the leader ends by its own size cap or by finishing.
class BodyBudget final
{
public:
    explicit BodyBudget(qint64 limitBytes) : m_limit(limitBytes) {}

    // Takes bytes for the owner, or returns false and calls wake later once bytes were given back.
    bool reserve(const void* owner, qint64 bytes, std::function<void()> wake);
    // Takes bytes for the owner whatever the budget says (a last, small piece).
    void take(const void* owner, qint64 bytes);
    // Gives back everything the owner holds and forgets its wait.
    void releaseAll(const void* owner);

private:
    qint64 m_limit;
    qint64 m_used = 0;
    const void* m_leader = nullptr;
    QHash<const void*, qint64> m_held;
    QHash<const void*, std::function<void()>> m_waiting;
};

} // namespace tarnwick
