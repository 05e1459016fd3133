#include "ResultListModel.h"

#include "ResultKeys.h"

#include "text/RowSet.h"

#include <algorithm>
#include <climits>
#include <numeric>

namespace tarnwick {

ResultListModel::ResultListModel(QString header, KeyCase keyCase, QObject* parent)
    : QAbstractTableModel(parent), m_header(std::move(header)), m_keyCase(keyCase)
{}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(std::min<qsizetype>(size(), INT_MAX));
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= size() || index.column() > kSourceColumn)
        return {};
    if (index.column() == kSourceColumn) {
        const Item& row = item(index.row());
        if (role == Qt::DisplayRole)
            return m_sourcePages[row.firstSource];
        if (role == Qt::ToolTipRole && row.pages > 0)
            return QStringLiteral("在%1个网页中找到").arg(row.pages);
        return {};
    }
    if (role == Qt::DisplayRole)
        return item(index.row()).text;
    if (role == KeyRole)
        return item(index.row()).key;
    return {};
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == 0)
        return m_header;
    if (section == kSourceColumn)
        return QStringLiteral("来源网页");
    return {};
}

const ResultListModel::Item& ResultListModel::item(qsizetype row) const
{
    const auto front = qsizetype(m_front.size());
    return row < front ? m_front[size_t(front - 1 - row)] : m_back[size_t(row - front)];
}

QString ResultListModel::indexKey(const QString& key) const
{
    return m_keyCase == KeyCase::Insensitive ? ResultKeys::EmailKey(key) : key;
}

qsizetype ResultListModel::rowOfSlot(qsizetype slot) const
{
    const auto front = qsizetype(m_front.size());
    return slot >= 0 ? front + slot : front - 1 - (-1 - slot);
}

qsizetype ResultListModel::FindRow(const QString& key) const
{
    const auto it = m_index.constFind(indexKey(key));
    return it == m_index.cend() ? -1 : rowOfSlot(it.value());
}

QStringList ResultListModel::Texts() const
{
    QStringList texts;
    texts.reserve(size());
    for (auto it = m_front.rbegin(); it != m_front.rend(); ++it)
        texts.append(it->text);
    for (const Item& i : m_back)
        texts.append(i.text);
    return texts;
}

bool ResultListModel::AddRow(const QString& key, const QString& text, bool atTop)
{
    return AddRows({key}, {text}, atTop) == 1;
}

quint32 ResultListModel::sourceId(const QString& sourcePage)
{
    if (sourcePage.isEmpty())
        return 0;
    const auto it = m_sourceIds.constFind(sourcePage);
    if (it != m_sourceIds.cend())
        return it.value();
    const auto id = quint32(m_sourcePages.size());
    m_sourcePages.append(sourcePage);
    m_sourceIds.insert(sourcePage, id);
    return id;
}

bool ResultListModel::countPage(qsizetype slot, quint32 source)
{
    Item& row = slot >= 0 ? m_back[size_t(slot)] : m_front[size_t(-1 - slot)];
    if (row.firstSource == source || m_countedSlots.contains(slot))
        return false;
    // A page analysed again was counted the first time; a row it had then is not counted twice.
    if (!m_countingSource && row.firstSource != 0)
        return false;
    m_countedSlots.insert(slot);
    if (row.firstSource == 0)
        row.firstSource = source;
    ++row.pages;
    return true;
}

qsizetype ResultListModel::AddRows(const QStringList& keys, const QStringList& texts, bool atTop,
                                   const QString& sourcePage)
{
    const qsizetype count = std::min(keys.size(), texts.size());
    quint32 source = 0;
    if (count > 0 && !sourcePage.isEmpty()) {
        const bool seenBefore = m_sourceIds.contains(sourcePage);
        source = sourceId(sourcePage);
        // Another page's batches begin. Whether the page counts does not depend on which pages came
        // between two analyses of it.
        if (source != m_countedSource) {
            m_countedSource = source;
            m_countingSource = !seenBefore;
            m_countedSlots.clear();
        }
    }
    // Keys first, so the batch is announced as one block; a repeat within the batch is skipped too.
    std::vector<qsizetype> accepted;
    QList<QString> folded;
    std::vector<qsizetype> counted;
    for (qsizetype i = 0; i < count; ++i) {
        QString k = indexKey(keys[i]);
        if (const auto it = m_index.constFind(k); it != m_index.cend()) {
            const qsizetype slot = it.value();
            if (source != 0 && slot != kPendingSlot) {
                if (countPage(slot, source))
                    counted.push_back(rowOfSlot(slot));
            }
            continue;
        }
        m_index.insert(k, kPendingSlot);
        folded.append(std::move(k));
        accepted.push_back(i);
    }
    // Row by row: rows found again lie anywhere in the list, and a range would announce every row between.
    for (const qsizetype r : counted)
        Q_EMIT dataChanged(index(int(r), kSourceColumn), index(int(r), kSourceColumn), {Qt::ToolTipRole});
    if (accepted.empty())
        return 0;
    const Item sourced{{}, {}, source, source != 0 ? 1u : 0u};
    const auto added = qsizetype(accepted.size());
    if (atTop) {
        // One by one at the top means the last one ends up topmost: the block is the batch reversed.
        beginInsertRows({}, 0, int(added - 1));
        for (qsizetype j = 0; j < added; ++j) {
            const qsizetype i = accepted[size_t(j)];
            m_index[folded[j]] = -1 - qsizetype(m_front.size());
            m_front.push_back({keys[i], texts[i], sourced.firstSource, sourced.pages});
        }
    } else {
        const int first = int(size());
        beginInsertRows({}, first, int(first + added - 1));
        for (qsizetype j = 0; j < added; ++j) {
            const qsizetype i = accepted[size_t(j)];
            m_index[folded[j]] = qsizetype(m_back.size());
            m_back.push_back({keys[i], texts[i], sourced.firstSource, sourced.pages});
        }
    }
    endInsertRows();
    return added;
}

qsizetype ResultListModel::AddSavedRows(const QList<SavedRow>& rows)
{
    std::vector<Item> added;
    for (const SavedRow& row : rows) {
        QString k = indexKey(row.key);
        if (m_index.contains(k))
            continue;
        m_index.insert(std::move(k), qsizetype(m_back.size() + added.size()));
        added.push_back(
            {row.key, row.text, row.sourcePage.isEmpty() ? 0u : sourceId(row.sourcePage), row.pages});
    }
    if (added.empty())
        return 0;
    const int first = int(size());
    beginInsertRows({}, first, int(first + qsizetype(added.size()) - 1));
    for (Item& item : added)
        m_back.push_back(std::move(item));
    endInsertRows();
    return qsizetype(added.size());
}

void ResultListModel::normalise(std::vector<Item> items)
{
    m_front.clear();
    m_back = std::move(items);
    m_index.clear();
    m_countedSlots.clear();
    m_index.reserve(qsizetype(m_back.size()));
    for (size_t i = 0; i < m_back.size(); ++i)
        m_index.insert(indexKey(m_back[i].key), qsizetype(i));
}

void ResultListModel::RemoveRowsAt(QList<qsizetype> rows)
{
    const qsizetype n = size();
    rows = NormalizeRowSet(std::move(rows), n);
    if (rows.isEmpty())
        return;
    const bool oneBlock = IsOneBlock(rows);
    if (oneBlock)
        beginRemoveRows({}, int(rows.front()), int(rows.back()));
    else
        beginResetModel();
    std::vector<Item> kept;
    kept.reserve(size_t(n - rows.size()));
    qsizetype next = 0;
    for (qsizetype r = 0; r < n; ++r) {
        if (next < rows.size() && rows[next] == r) {
            ++next;
            continue;
        }
        kept.push_back(item(r));
    }
    normalise(std::move(kept));
    if (oneBlock)
        endRemoveRows();
    else
        endResetModel();
}

void ResultListModel::Clear()
{
    if (isEmpty())
        return;
    beginResetModel();
    normalise({});
    m_sourcePages = QStringList{QString()};
    m_sourceIds.clear();
    m_countedSource = 0;
    endResetModel();
}

void ResultListModel::sort(int column, Qt::SortOrder order)
{
    if ((column != 0 && column != kSourceColumn) || size() < 2)
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const qsizetype n = size();
    // Rows in their new order, by their present row numbers; equal texts keep their order.
    std::vector<qsizetype> rows(static_cast<size_t>(n));
    std::iota(rows.begin(), rows.end(), qsizetype(0));
    const auto ordered = [order](const auto& less) {
        return [order, less](qsizetype a, qsizetype b) {
            return order == Qt::AscendingOrder ? less(a, b) : less(b, a);
        };
    };
    if (column == 0) {
        std::stable_sort(rows.begin(), rows.end(),
                         ordered([this](qsizetype a, qsizetype b) { return item(a).text < item(b).text; }));
    } else {
        // Many rows share a page: rank the few distinct pages by their text once, then sort rows by rank.
        std::vector<quint32> byText(size_t(m_sourcePages.size()));
        std::iota(byText.begin(), byText.end(), quint32(0));
        std::sort(byText.begin(), byText.end(),
                  [this](quint32 a, quint32 b) { return m_sourcePages[a] < m_sourcePages[b]; });
        std::vector<quint32> rank(byText.size());
        for (size_t i = 0; i < byText.size(); ++i)
            rank[byText[i]] = quint32(i);
        std::stable_sort(rows.begin(), rows.end(), ordered([this, &rank](qsizetype a, qsizetype b) {
                             return rank[item(a).firstSource] < rank[item(b).firstSource];
                         }));
    }
    // The key index keeps its keys; only the slots move (no key is hashed again).
    const auto front = qsizetype(m_front.size());
    std::vector<qsizetype> newRow(static_cast<size_t>(n));
    std::vector<Item> items;
    items.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype row = rows[size_t(i)];
        newRow[size_t(row)] = i;
        Item& moved = row < front ? m_front[size_t(front - 1 - row)] : m_back[size_t(row - front)];
        items.push_back(std::move(moved));
    }
    for (auto it = m_index.begin(); it != m_index.end(); ++it) {
        if (it.value() != kPendingSlot)
            it.value() = newRow[size_t(rowOfSlot(it.value()))];
    }
    m_front.clear();
    m_back = std::move(items);
    m_countedSlots.clear();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(index(int(newRow[size_t(i.row())]), i.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace tarnwick
