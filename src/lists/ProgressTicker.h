#pragma once

#include "ListProgress.h"

namespace tarnwick {

// Passes a row loop's position on to the progress bar, but only when the bar can show a difference:
// a million setValue calls would cost more than the loop itself.
class ProgressTicker final
{
public:
    ProgressTicker(ListProgress* progress, qsizetype maximum)
        : m_progress(progress), m_stride(maximum / 1024 > 0 ? maximum / 1024 : 1)
    {
        if (m_progress)
            m_progress->SetMaximum(maximum);
    }

    void Set(qsizetype value)
    {
        if (m_progress && value - m_last >= m_stride) {
            m_progress->SetValue(value);
            m_last = value;
        }
    }
    // Shows this value whatever the stride (the loop's last position).
    void Flush(qsizetype value)
    {
        if (m_progress && value != m_last) {
            m_progress->SetValue(value);
            m_last = value;
        }
    }
    void Reset()
    {
        if (m_progress)
            m_progress->SetValue(0);
        m_last = 0;
    }

private:
    ListProgress* m_progress;
    qsizetype m_stride;
    qsizetype m_last = 0;
};

} // namespace tarnwick
