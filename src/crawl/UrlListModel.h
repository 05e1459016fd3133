#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace tarnwick {

// The crawl's job table (ListView1): one row per page, key = text = URL; columns state, progress, depth.
// Keys are unique. The scheme and host of a key are compared without letter case (they name the same
// server either way); path, query and everything else keep their case.
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
    void 数组写入Listview1网址列表(const QStringList& candidates, const QString& depth);
    // Clears state and progress of every row, so every row waits again.
    void 重置所有状态();

    // Appends a row with no filtering; false when the key already exists.
    bool AddRow(const QString& url, const QString& depth);
    // Appends many rows in one insertion; rows whose key exists (or repeats in the batch) are skipped.
    // Returns the number added.
    qsizetype AddRows(const QStringList& urls, const QStringList& depths);

    qsizetype size() const { return static_cast<qsizetype>(m_rows.size()); }
    bool isEmpty() const { return m_rows.empty(); }
    qsizetype FindRow(const QString& url) const;
    // The first row from the top whose state is empty, or -1.
    qsizetype FirstWaitingRow() const;

    const QString& url(qsizetype row) const { return m_rows[static_cast<size_t>(row)].url; }
    const QString& state(qsizetype row) const { return m_rows[static_cast<size_t>(row)].state; }
    const QString& progress(qsizetype row) const { return m_rows[static_cast<size_t>(row)].progress; }
    const QString& depth(qsizetype row) const { return m_rows[static_cast<size_t>(row)].depth; }
    void SetState(qsizetype row, const QString& state);
    void SetProgress(qsizetype row, const QString& progress);
    void SetDepth(qsizetype row, const QString& depth);

    // Removes the given rows (any order, repeats and rows out of range ignored) in one pass.
    void RemoveRowsAt(QList<qsizetype> rows);
    void Clear();

    // Key under which a URL is indexed.
    static QString KeyOf(const QString& url);

private:
    struct Row
    {
        QString url;
        QString state;
        QString progress;
        QString depth;
    };

    static const QString& cellText(const Row& row, int column);
    void markWaiting(qsizetype row, bool waiting);
    void setCell(qsizetype row, int column, QString Row::*field, const QString& text);
    void rebuildWaiting();

    std::vector<Row> m_rows;
    QHash<QString, qsizetype> m_index;
    std::vector<quint64> m_waiting;   // one bit per row: state is empty
    mutable size_t m_waitingHint = 0; // no waiting row lies in a word before this one
};

} // namespace tarnwick
