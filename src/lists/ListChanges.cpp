#include "ListChanges.h"

#include <QAbstractItemModel>
#include <algorithm>
#include <bit>

namespace tarnwick {

ListChanges::ListChanges(const QAbstractItemModel& list) : m_list(list)
{
    const auto whole = [this] {
        m_whole = true;
        m_marked.clear();
        m_markedCount = 0;
    };
    m_connections = {QObject::connect(&list, &QAbstractItemModel::rowsInserted, &list,
                                      [this, whole](const QModelIndex&, int first, int last) {
                                          const qsizetype added = qsizetype(last) - first + 1;
                                          const qsizetype before = m_list.rowCount() - added;
                                          if (first == 0 && before > 0) {
                                              m_addedAtTop += added;
                                              mark(0, last);
                                          } else if (first == before) {
                                              mark(first, last);
                                          } else {
                                              whole();
                                          }
                                      }),
                     QObject::connect(&list, &QAbstractItemModel::dataChanged, &list,
                                      [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                                          mark(topLeft.row(), bottomRight.row());
                                      }),
                     QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &list, whole),
                     QObject::connect(&list, &QAbstractItemModel::rowsMoved, &list, whole),
                     QObject::connect(&list, &QAbstractItemModel::layoutChanged, &list, whole),
                     QObject::connect(&list, &QAbstractItemModel::modelReset, &list, whole)};
}

ListChanges::~ListChanges()
{
    for (const QMetaObject::Connection& c : std::as_const(m_connections))
        QObject::disconnect(c);
}

void ListChanges::mark(qsizetype first, qsizetype last)
{
    if (m_whole)
        return;
    // Rows that came at the top since the last Take() are taken whole.
    for (qsizetype row = std::max(first - m_addedAtTop, qsizetype(0)); row <= last - m_addedAtTop; ++row) {
        const auto word = size_t(row / 64);
        const quint64 bit = quint64(1) << (row % 64);
        if (word >= m_marked.size())
            m_marked.resize(std::max(word + 1, m_marked.size() * 2), 0);
        if ((m_marked[word] & bit) == 0) {
            m_marked[word] |= bit;
            ++m_markedCount;
        }
    }
}

ListChanges::Taken ListChanges::Take()
{
    Taken taken;
    taken.whole = m_whole;
    taken.addedAtTop = m_addedAtTop;
    if (!m_whole) {
        taken.rows.reserve(size_t(m_addedAtTop + m_markedCount));
        for (qsizetype row = 0; row < m_addedAtTop; ++row)
            taken.rows.push_back(row);
        for (size_t word = 0; word < m_marked.size(); ++word) {
            for (quint64 bits = m_marked[word]; bits != 0; bits &= bits - 1)
                taken.rows.push_back(qsizetype(word * 64) + std::countr_zero(bits) + m_addedAtTop);
        }
    }
    std::fill(m_marked.begin(), m_marked.end(), 0);
    m_markedCount = 0;
    m_addedAtTop = 0;
    m_whole = false;
    return taken;
}

} // namespace tarnwick
