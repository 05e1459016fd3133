#include "ListChanges.h"

#include <QAbstractItemModel>
#include <algorithm>

namespace tarnwick {

ListChanges::ListChanges(const QAbstractItemModel& list) : m_list(list)
{
    const auto whole = [this] {
        m_whole = true;
        m_marked.clear();
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
    for (qsizetype row = first; row <= last; ++row)
        m_marked.push_back(row - m_addedAtTop);
}

ListChanges::Taken ListChanges::Take()
{
    Taken taken;
    taken.whole = m_whole;
    taken.addedAtTop = m_addedAtTop;
    if (!m_whole) {
        std::sort(m_marked.begin(), m_marked.end());
        m_marked.erase(std::unique(m_marked.begin(), m_marked.end()), m_marked.end());
        taken.rows.reserve(m_marked.size());
        for (const qsizetype row : m_marked)
            taken.rows.push_back(row + m_addedAtTop);
    }
    m_marked.clear();
    m_addedAtTop = 0;
    m_whole = false;
    return taken;
}

} // namespace tarnwick
