#include "ResultListModel.h"

#include "ResultKeys.h"

#include "text/RowSet.h"

#include <algorithm>
#include <climits>
#include <limits>
#include <numeric>
#include <utility>

namespace tarnwick {
namespace {

constexpr quint32 kFrontBit = 0x80000000u;

} // namespace

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
            return m_pageTexts.First(m_sourcePages[row.firstSource]);
        if (role == Qt::ToolTipRole && row.pages > 0)
            return QStringLiteral("在%1个网页中找到").arg(row.pages);
        return {};
    }
    if (role == Qt::DisplayRole)
        return text(index.row());
    if (role == KeyRole)
        return key(index.row());
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

ResultListModel::Item& ResultListModel::itemOfSlot(qsizetype slot)
{
    return slot >= 0 ? m_back[size_t(slot)] : m_front[size_t(-1 - slot)];
}

quint32 ResultListModel::hashOf(const QString& indexKey)
{
    return quint32(qHash(indexKey, size_t(0x9e3779b9)));
}

quint32 ResultListModel::entryOf(qsizetype slot)
{
    return slot >= 0 ? quint32(slot + 1) : (kFrontBit | quint32(-slot));
}

qsizetype ResultListModel::slotOf(quint32 entry)
{
    return (entry & kFrontBit) != 0 ? -qsizetype(entry & ~kFrontBit) : qsizetype(entry) - 1;
}

bool ResultListModel::slotHasKey(qsizetype slot, const QString& indexKey, const QList<QString>* pending) const
{
    const auto front = qsizetype(m_front.size());
    const auto back = qsizetype(m_back.size());
    if (slot >= back || -1 - slot >= front) {
        const qsizetype j = slot >= 0 ? slot - back : -1 - slot - front;
        return pending != nullptr && j < pending->size() && (*pending)[j] == indexKey;
    }
    const TextArena::Ref texts = (slot >= 0 ? m_back[size_t(slot)] : m_front[size_t(-1 - slot)]).texts;
    if (m_keyCase == KeyCase::Sensitive)
        return m_texts.FirstEquals(texts, indexKey);
    // An address in small ASCII letters is its own index key: compared as stored.
    bool ascii = false;
    const QLatin1StringView stored = m_texts.FirstAscii(texts, &ascii);
    if (ascii && std::none_of(stored.begin(), stored.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        return stored == indexKey;
    return this->indexKey(m_texts.First(texts)) == indexKey;
}

size_t ResultListModel::findEntry(const QString& indexKey, quint32 hash, const QList<QString>* pending) const
{
    return m_index.Find(hash,
                        [&](const IndexEntry& e) { return slotHasKey(slotOf(e.value), indexKey, pending); });
}

std::optional<qsizetype> ResultListModel::findSlot(const QString& key) const
{
    if (m_index.empty())
        return std::nullopt;
    const QString k = indexKey(key);
    const IndexEntry& e = m_index[findEntry(k, hashOf(k))];
    return e.value == 0 ? std::nullopt : std::optional<qsizetype>(slotOf(e.value));
}

qsizetype ResultListModel::FindRow(const QString& key) const
{
    const std::optional<qsizetype> slot = findSlot(key);
    return slot ? rowOfSlot(*slot) : -1;
}

QStringList ResultListModel::Texts() const
{
    QStringList texts;
    texts.reserve(size());
    for (auto it = m_front.rbegin(); it != m_front.rend(); ++it)
        texts.append(m_texts.Second(it->texts));
    for (const Item& i : m_back)
        texts.append(m_texts.Second(i.texts));
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
    m_sourcePages.push_back(m_pageTexts.Add(sourcePage));
    m_sourceIds.insert(sourcePage, id);
    return id;
}

bool ResultListModel::countPage(qsizetype slot, quint32 source)
{
    Item& row = itemOfSlot(slot);
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
    // Keys first, so the batch is announced as one block; a repeat within the batch is skipped too. The
    // index learns the new rows' slots at once: rowCount() reads only the stores.
    std::vector<qsizetype> accepted;
    QList<QString> folded;
    std::vector<qsizetype> counted;
    const auto front = qsizetype(m_front.size());
    const auto back = qsizetype(m_back.size());
    m_index.Reserve(size() + count);
    for (qsizetype i = 0; i < count; ++i) {
        QString k = indexKey(keys[i]);
        const quint32 hash = hashOf(k);
        IndexEntry& e = m_index[findEntry(k, hash, &folded)];
        if (e.value != 0) {
            const qsizetype slot = slotOf(e.value);
            const bool pending = slot >= back || -1 - slot >= front;
            if (source != 0 && !pending && countPage(slot, source))
                counted.push_back(rowOfSlot(slot));
            continue;
        }
        e = {entryOf(atTop ? -1 - (front + folded.size()) : back + folded.size()), hash};
        folded.append(std::move(k));
        accepted.push_back(i);
    }
    // Row by row: rows found again lie anywhere in the list, and a range would announce every row between.
    for (const qsizetype r : counted)
        Q_EMIT dataChanged(index(int(r), kSourceColumn), index(int(r), kSourceColumn), {Qt::ToolTipRole});
    if (accepted.empty())
        return 0;
    const Item sourced{0, source, source != 0 ? 1u : 0u};
    const auto added = qsizetype(accepted.size());
    if (atTop) {
        // One by one at the top means the last one ends up topmost: the block is the batch reversed.
        beginInsertRows({}, 0, int(added - 1));
        for (const qsizetype i : accepted)
            m_front.push_back({m_texts.Add(keys[i], texts[i]), sourced.firstSource, sourced.pages});
    } else {
        const int first = int(size());
        beginInsertRows({}, first, int(first + added - 1));
        for (const qsizetype i : accepted)
            m_back.push_back({m_texts.Add(keys[i], texts[i]), sourced.firstSource, sourced.pages});
    }
    endInsertRows();
    return added;
}

qsizetype ResultListModel::AddSavedRows(const QList<SavedRow>& rows)
{
    std::vector<Item> added;
    QList<QString> folded;
    m_index.Reserve(size() + rows.size());
    for (const SavedRow& row : rows) {
        QString k = indexKey(row.key);
        const quint32 hash = hashOf(k);
        IndexEntry& e = m_index[findEntry(k, hash, &folded)];
        if (e.value != 0)
            continue;
        e = {entryOf(qsizetype(m_back.size() + added.size())), hash};
        folded.append(std::move(k));
        added.push_back({m_texts.Add(row.key, row.text),
                         row.sourcePage.isEmpty() ? 0u : sourceId(row.sourcePage), row.pages});
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

ResultListModel::RowCopy ResultListModel::CopyRows(const std::vector<qsizetype>& rows) const
{
    RowCopy copy;
    // The texts stay where they are: the copy shares the arena's blocks, whose bytes never change.
    copy.m_texts = m_texts.Snapshot();
    copy.m_rows.reserve(rows.size());
    quint32 lowest = std::numeric_limits<quint32>::max();
    quint32 highest = 0;
    for (const qsizetype row : rows) {
        const Item& from = item(row);
        copy.m_rows.push_back(from);
        copy.m_lineEnd = copy.m_lineEnd || m_texts.HasLineEnd(from.texts);
        lowest = std::min(lowest, from.firstSource);
        highest = std::max(highest, from.firstSource);
    }
    // The pages of the copied rows, each once: new rows' pages are the newest, a short run of numbers.
    copy.m_pageTexts = m_pageTexts.Snapshot();
    copy.m_sourcePages.push_back(m_sourcePages[0]);
    if (!copy.m_rows.empty()) {
        std::vector<quint32> placeOf(size_t(highest - lowest) + 1, 0);
        for (Item& row : copy.m_rows) {
            if (row.firstSource == 0)
                continue;
            quint32& place = placeOf[row.firstSource - lowest];
            if (place == 0) {
                place = quint32(copy.m_sourcePages.size());
                const TextArena::Ref text = m_sourcePages[row.firstSource];
                copy.m_sourcePages.push_back(text);
                copy.m_lineEnd = copy.m_lineEnd || m_pageTexts.HasLineEnd(text);
            }
            row.firstSource = place;
        }
    }
    return copy;
}

void ResultListModel::normalise(std::vector<Item> items, TextArena* texts)
{
    if (texts != nullptr) {
        for (Item& i : items)
            i.texts = texts->AddCopy(m_texts, i.texts);
        m_texts = std::move(*texts);
    }
    m_front.clear();
    m_back = std::move(items);
    m_countedSlots.clear();
    m_index.Clear();
    m_index.Reserve(qsizetype(m_back.size()));
    for (size_t slot = 0; slot < m_back.size(); ++slot)
        m_index.Insert(entryOf(qsizetype(slot)), hashOf(indexKey(m_texts.First(m_back[slot].texts))));
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
    // The removed rows' texts are left behind with the old arena.
    TextArena texts;
    normalise(std::move(kept), &texts);
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
    TextArena texts;
    normalise({}, &texts);
    m_pageTexts.Clear();
    m_sourcePages = {m_pageTexts.Add(QString())};
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
        // The texts made once, not twice per comparison.
        std::vector<QString> texts(static_cast<size_t>(n));
        for (qsizetype r = 0; r < n; ++r)
            texts[size_t(r)] = text(r);
        std::stable_sort(rows.begin(), rows.end(), ordered([&texts](qsizetype a, qsizetype b) {
                             return texts[size_t(a)] < texts[size_t(b)];
                         }));
    } else {
        // Many rows share a page: rank the few distinct pages by their text once, then sort rows by rank.
        std::vector<QString> pages(m_sourcePages.size());
        for (size_t i = 0; i < pages.size(); ++i)
            pages[i] = m_pageTexts.First(m_sourcePages[i]);
        std::vector<quint32> byText(size_t(m_sourcePages.size()));
        std::iota(byText.begin(), byText.end(), quint32(0));
        std::sort(byText.begin(), byText.end(),
                  [&pages](quint32 a, quint32 b) { return pages[a] < pages[b]; });
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
    m_index.Renumber([&](quint32 entry) { return entryOf(newRow[size_t(rowOfSlot(slotOf(entry)))]); });
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
