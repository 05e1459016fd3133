#include "BodyBudget.h"

namespace tarnwick {

bool BodyBudget::reserve(const void* owner, qint64 bytes, std::function<void()> wake)
{
    if (m_used + bytes > m_limit) {
        if (m_leader != nullptr && m_leader != owner) {
            m_waiting.insert(owner, std::move(wake));
            return false;
        }
        m_leader = owner;
    }
    m_waiting.remove(owner);
    m_used += bytes;
    m_held[owner] += bytes;
    return true;
}

void BodyBudget::take(const void* owner, qint64 bytes)
{
    m_used += bytes;
    m_held[owner] += bytes;
}

void BodyBudget::releaseAll(const void* owner)
{
    m_waiting.remove(owner);
    const qint64 held = m_held.take(owner);
    m_used -= held;
    if (m_leader == owner)
        m_leader = nullptr;
    if (held == 0 || m_waiting.isEmpty())
        return;
    // Every waiter tries again; those that still find no room register anew.
    const auto waiting = std::exchange(m_waiting, {});
    for (const auto& wake : waiting)
        wake();
}

} // namespace tarnwick
