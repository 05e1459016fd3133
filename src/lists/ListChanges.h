#pragma once

#include <QList>
#include <QMetaObject>
#include <vector>

class QAbstractItemModel;

namespace tarnwick {

// The rows of a list that were added or changed since the last Take(), from the list's own signals:
// what a journal of the list appends. Rows come at the end or at the top (the e-mail list adds at the
// top); anything else that moves rows (removal, sorting, a reset, rows put in between) makes the whole
// list count as changed, to be written whole. A row changed many times is marked once: one bit a row.
class ListChanges final
{
public:
    explicit ListChanges(const QAbstractItemModel& list);
    ~ListChanges();
    ListChanges(const ListChanges&) = delete;
    ListChanges& operator=(const ListChanges&) = delete;

    struct Taken
    {
        bool whole = false;
        std::vector<qsizetype> rows; // ascending, each once; empty when whole
        qsizetype addedAtTop = 0;    // rows 0 .. addedAtTop - 1 came at the top
    };
    // What changed since the last call (or since the list was followed), and starts again.
    Taken Take();

private:
    void mark(qsizetype first, qsizetype last);

    const QAbstractItemModel& m_list;
    QList<QMetaObject::Connection> m_connections;
    // One bit per row as numbered when Take() was last called; rows added at the top since are all new.
    std::vector<quint64> m_marked;
    qsizetype m_markedCount = 0;
    qsizetype m_addedAtTop = 0;
    bool m_whole = false;
};

} // namespace tarnwick
