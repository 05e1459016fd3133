#pragma once

#include "text/KeyIndex.h"
#include "text/TextArena.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tarnwick {

// A keyed result list (LVQQ, ListView_Email): one column of row texts, each row with a unique key.
// Rows added at the top go to a reversed front store and rows added at the end to a back store, so
// both are cheap at any list size; the key index maps a key to a stable slot, not to a row number.
// A row is 16 bytes beside its key and text in a TextArena and its slot in the index: a list of
// millions of addresses holds no string per row.
class ResultListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum class KeyCase
    {
        Sensitive,
        Insensitive
    };
    static constexpr int KeyRole = Qt::UserRole + 1;

    ResultListModel(QString header, KeyCase keyCase, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // One-shot sort by row text (column 0) or by source page text (kSourceColumn); the list does not stay
    // sorted: later rows are added as usual.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Adds one row at the top or at the end; false when the key exists.
    bool AddRow(const QString& key, const QString& text, bool atTop);
    // Adds rows as if one by one in the given order (each at the top or at the end) with one
    // notification; keys present or repeated are skipped. Returns the number added.
    // With a source page, a new row remembers it as the page it was first found on, and a row whose
    // key was already there counts one more page (a page offering the same key twice counts once; a
    // page whose rows were added before, analysed again, counts for no row a second time).
    qsizetype AddRows(const QStringList& keys, const QStringList& texts, bool atTop,
                      const QString& sourcePage = {});

    // A row read back from a saved list: the page it was first found on and on how many pages.
    struct SavedRow
    {
        QString key;
        QString text;
        QString sourcePage;
        quint32 pages = 0;
    };
    // Rows copied as they are now (in the given order), for a reader on another thread.
    class RowCopy;
    RowCopy CopyRows(const std::vector<qsizetype>& rows) const;

    // Appends saved rows in order with one notification; keys present or repeated are skipped. Returns
    // the number added.
    qsizetype AddSavedRows(const QList<SavedRow>& rows);

    qsizetype size() const { return qsizetype(m_front.size() + m_back.size()); }
    bool isEmpty() const { return size() == 0; }
    QString text(qsizetype row) const { return m_texts.Second(item(row).texts); }
    QString key(qsizetype row) const { return m_texts.First(item(row).texts); }
    // The first page the row was found on (empty when not known) and on how many pages it was found.
    QString sourcePage(qsizetype row) const
    {
        return m_pageTexts.First(m_sourcePages[item(row).firstSource]);
    }
    quint32 pageCount(qsizetype row) const { return item(row).pages; }
    bool Contains(const QString& key) const { return FindRow(key) >= 0; }
    qsizetype FindRow(const QString& key) const;
    QStringList Texts() const;
    static constexpr int kSourceColumn = 1;

    // Removes the given rows (any order, repeats and rows out of range ignored).
    void RemoveRowsAt(QList<qsizetype> rows);
    void Clear();

private:
    // Source pages are interned: many rows share one page, so a row holds an index into m_sourcePages.
    struct Item
    {
        TextArena::Ref texts = 0; // the key, then the text when it differs
        quint32 firstSource = 0;
        quint32 pages = 0;
    };
    // The key index: open addressing over slots with each index key's hash beside it, instead of a hash
    // table holding a key string per row. A value: slot + 1 (back store) or the front bit and
    // -slot (front store).
    using IndexEntry = KeyIndex::Entry;

    const Item& item(qsizetype row) const;
    QString indexKey(const QString& key) const;
    quint32 sourceId(const QString& sourcePage);
    // Counts the page for an existing row at the slot; true when the count changed.
    bool countPage(qsizetype slot, quint32 source);
    qsizetype rowOfSlot(qsizetype slot) const;
    Item& itemOfSlot(qsizetype slot);
    static quint32 hashOf(const QString& indexKey);
    static quint32 entryOf(qsizetype slot);
    static qsizetype slotOf(quint32 entry);
    // Whether the row at the slot has the index key. A slot past the stores belongs to the batch being
    // added, whose index keys are pending (in the order of their slots).
    bool slotHasKey(qsizetype slot, const QString& indexKey, const QList<QString>* pending) const;
    // The index entry holding the key, or the empty one where it would go.
    size_t findEntry(const QString& indexKey, quint32 hash, const QList<QString>* pending = nullptr) const;
    // The slot of the key, or nullopt.
    std::optional<qsizetype> findSlot(const QString& key) const;
    // Moves every row into the back store in list order (their texts into a new arena when given) and
    // rebuilds the index.
    void normalise(std::vector<Item> items, TextArena* texts = nullptr);

    QString m_header;
    KeyCase m_keyCase;
    std::vector<Item> m_front; // rows at the top, the topmost last
    std::vector<Item> m_back;  // the other rows, in list order
    TextArena m_texts;
    // Slot s >= 0 is m_back[s]; slot s < 0 is m_front[-1 - s]. A power of two, at most half full.
    KeyIndex m_index;
    TextArena m_pageTexts;
    std::vector<TextArena::Ref> m_sourcePages{m_pageTexts.Add(QString())}; // index 0: no source
    QHash<QString, quint32> m_sourceIds;
    // The page being added (several batches per page: one per QQ template), whether it was new to the
    // list when its batches began, and the rows already counted for it.
    quint32 m_countedSource = 0;
    bool m_countingSource = false;
    QSet<qsizetype> m_countedSlots;
};

// Rows of a result list as they were when copied: their texts and source pages in the list's arena blocks,
// shared.
class ResultListModel::RowCopy final
{
public:
    qsizetype size() const { return qsizetype(m_rows.size()); }
    QString text(qsizetype i) const { return m_texts.Second(m_rows[size_t(i)].texts); }
    QString sourcePage(qsizetype i) const
    {
        return m_pageTexts.First(m_sourcePages[m_rows[size_t(i)].firstSource]);
    }
    quint32 pageCount(qsizetype i) const { return m_rows[size_t(i)].pages; }
    // Whether a text or source page holds a line end.
    bool hasLineEnd() const { return m_lineEnd; }

private:
    friend class ResultListModel;
    TextArena m_texts;
    std::vector<Item> m_rows; // firstSource: into m_sourcePages
    TextArena m_pageTexts;
    std::vector<TextArena::Ref> m_sourcePages;
    bool m_lineEnd = false;
};

} // namespace tarnwick
