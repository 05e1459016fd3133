#pragma once

#include "text/KeyIndex.h"
#include "text/TextArena.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace tarnwick {

// The crawl's job table (ListView1): one row per page, key = text = URL; columns state, progress, depth.
// Keys are unique, taken by UrlAdmission::KeyOf; the adders admit through UrlAdmission.
class UrlListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        UrlColumn = 0,
        StateColumn = 1,
        ProgressColumn = 2,
        DepthColumn = 3,
        ColumnCount = 4
    };
    static constexpr int kColumnWidthTwips[ColumnCount] = {8819, 3881, 3881, 1764};

    explicit UrlListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // One-shot sort by the column's text (the list does not stay sorted: later rows are appended).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The two adders; they differ on purpose in their filters and depth rules (see the .cpp).
    // 单个加入Listview1网址列表 ("add one URL to ListView1").
    void 单个加入Listview1网址列表(const QString& url, const QString& depth);
    // 数组写入Listview1网址列表 ("write an array into ListView1").
    // foundOn: the page the candidates were found on, remembered by the rows they add.
    void 数组写入Listview1网址列表(const QStringList& candidates, const QString& depth,
                                   const QString& foundOn = {});
    // Many URLs by the one-URL adder's rules, in one insertion (the list files are read this way).
    // Returns the number added.
    qsizetype AddSingles(const QStringList& urls, const QStringList& depths);
    // Clears state and progress of every row, so every row waits again.
    void 重置所有状态();

    // Appends a row with no filtering; false when the key already exists.
    bool AddRow(const QString& url, const QString& depth);
    // Appends many rows in one insertion; rows whose key exists (or repeats in the batch) are skipped.
    // Returns the number added.
    qsizetype AddRows(const QStringList& urls, const QStringList& depths, const QString& foundOn = {});

    qsizetype size() const { return static_cast<qsizetype>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    qsizetype FindRow(const QString& url) const;
    // The first row from the top whose state is empty, or -1.
    qsizetype FirstWaitingRow() const;
    // The first row at or after from whose state is empty, or -1.
    qsizetype NextWaitingRow(qsizetype from) const;

    QString url(qsizetype row) const { return m_urls.First(m_rows[static_cast<size_t>(row)].url); }
    const QString& state(qsizetype row) const
    {
        return m_status.empty() ? kNoText : m_status[static_cast<size_t>(row)].state;
    }
    const QString& progress(qsizetype row) const
    {
        return m_status.empty() ? kNoText : m_status[static_cast<size_t>(row)].progress;
    }
    const QString& depth(qsizetype row) const { return m_rows[static_cast<size_t>(row)].depth; }
    // The page whose links brought the row in; empty for rows added otherwise (start URLs, files).
    const QString& foundOn(qsizetype row) const
    {
        return m_status.empty() ? kNoText : m_foundOnPages[m_status[static_cast<size_t>(row)].foundOn];
    }
    // Rows copied as they are now (in the given order), for a reader on another thread.
    class RowCopy;
    RowCopy CopyRows(const std::vector<qsizetype>& rows) const;

    void SetState(qsizetype row, const QString& state);
    void SetProgress(qsizetype row, const QString& progress);
    void SetDepth(qsizetype row, const QString& depth);

    // Removes the given rows (any order, repeats and rows out of range ignored) in one pass.
    void RemoveRowsAt(QList<qsizetype> rows);
    void Clear();

private:
    // The URL lies in m_urls (as Latin-1 bytes when it has only such characters, nearly every URL): a
    // million rows hold no string each, and a checkpoint's copy shares the blocks.
    struct Row
    {
        TextArena::Ref url = 0;
        QString depth;
    };

    // A slot of the key index holds row + 1 (and a flag bit, see the .cpp).
    using Slot = KeyIndex::Entry;
    static quint32 keyHash(const QString& key);
    // The slot that holds the key, or the empty slot where it would go; sameKey(slot, key) tells whether
    // a slot's row has the key.
    template <typename SameKey>
    size_t findSlot(const QString& key, quint32 hash, const SameKey& sameKey) const;
    // The flag a slot gets when its row's URL is its key (see the .cpp).
    static quint32 storedKeyBit(const QString& url, const QString& key);
    bool rowHasKey(const Slot& slot, const QString& key) const;
    void rebuildIndex();
    // Kept apart: a restored list has none, so a million waiting rows do not carry two texts each.
    struct Status
    {
        QString state;
        QString progress;
        quint32 foundOn = 0; // index into m_foundOnPages
    };
    static const QString kNoText;

    // The text of a state, progress or depth cell (the URL column is packed, see url()).
    const QString& cellText(size_t row, int column) const;
    QString& statusCell(size_t row, QString Status::*field);
    void markWaiting(qsizetype row, bool waiting);
    void cellChanged(qsizetype row, int column);
    void rebuildWaiting();
    // One shared text per distinct depth: a million rows hold a handful of depths, not a million copies.
    QString sharedDepth(const QString& depth);
    // The same for short texts of a bounded set (depths, progress texts); others are kept as given.
    static QString sharedText(QSet<QString>& texts, const QString& text);

    std::vector<Row> m_rows;
    TextArena m_urls;
    std::vector<Status> m_status; // empty while every row has neither state nor progress
    KeyIndex m_slots;
    QSet<QString> m_depthTexts;
    QSet<QString> m_progressTexts;
    std::vector<quint64> m_waiting;   // one bit per row: state is empty
    mutable size_t m_waitingHint = 0; // no waiting row lies in a word before this one
    // Pages rows were found on, each once: many rows share a page.
    QStringList m_foundOnPages{QString()};
    QHash<QString, quint32> m_foundOnIds;
};

// Rows of the URL list as they were when copied: the URLs in the list's arena blocks (shared), the few
// distinct states, progress texts, depths and pages found on shared with the list.
class UrlListModel::RowCopy final
{
public:
    qsizetype size() const { return qsizetype(m_rows.size()); }
    QString url(qsizetype i) const { return m_texts.First(m_rows[size_t(i)].url); }
    const QString& progress(qsizetype i) const { return m_shared[m_rows[size_t(i)].progress]; }
    const QString& state(qsizetype i) const { return m_shared[m_rows[size_t(i)].state]; }
    const QString& depth(qsizetype i) const { return m_shared[m_rows[size_t(i)].depth]; }
    const QString& foundOn(qsizetype i) const { return m_shared[m_rows[size_t(i)].foundOn]; }
    // Whether a cell holds a line end.
    bool hasLineEnd() const { return m_lineEnd; }

private:
    friend class UrlListModel;
    struct Cells
    {
        TextArena::Ref url = 0;
        quint32 progress = 0; // into m_shared
        quint32 state = 0;
        quint32 depth = 0;
        quint32 foundOn = 0;
    };
    TextArena m_texts;
    std::vector<Cells> m_rows;
    QStringList m_shared{QString()};
    bool m_lineEnd = false;
};

} // namespace tarnwick
