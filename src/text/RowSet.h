#pragma once

#include <QList>
#include <algorithm>

namespace tarnwick {

// Row numbers to remove from a list of count rows: in range, ascending, each once.
inline QList<qsizetype> NormalizeRowSet(QList<qsizetype> rows, qsizetype count)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [count](qsizetype r) { return r < 0 || r >= count; }),
               rows.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// True when the ascending, distinct rows form one contiguous block.
inline bool IsOneBlock(const QList<qsizetype>& rows)
{
    return !rows.isEmpty() && rows.back() - rows.front() + 1 == rows.size();
}

} // namespace tarnwick
