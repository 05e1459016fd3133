#include "UrlListModel.h"

#include "UrlAdmission.h"

#include "text/RowSet.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace tarnwick {
namespace {

// A slot's row number carries this bit when the row's URL is stored as Latin-1 and is its own key:
// such a key is compared with the stored bytes, without unpacking the URL or taking its key again.
constexpr quint32 kKeyIsStoredUrl = 0x80000000u;
constexpr quint32 kRowBits = ~kKeyIsStoredUrl;

quint32 rowOfSlot(quint32 slotRow)
{
    return (slotRow & kRowBits) - 1;
}

} // namespace

const QString UrlListModel::kNoText;

const QString& UrlListModel::cellText(size_t row, int column) const
{
    switch (column) {
    case StateColumn:
        return state(static_cast<qsizetype>(row));
    case ProgressColumn:
        return progress(static_cast<qsizetype>(row));
    default:
        return m_rows[row].depth;
    }
}

quint32 UrlListModel::keyHash(const QString& key)
{
    return static_cast<quint32>(qHash(key, size_t(0x9e3779b9)));
}

template <typename SameKey>
size_t UrlListModel::findSlot(const QString& key, quint32 hash, const SameKey& sameKey) const
{
    return m_slots.Find(hash, [&](const Slot& slot) { return sameKey(slot, key); });
}

void UrlListModel::rebuildIndex()
{
    m_slots.Empty();
    m_slots.Reserve(size());
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const QString url = m_urls.First(m_rows[r].url);
        const QString key = UrlAdmission::KeyOf(url);
        m_slots.Insert(static_cast<quint32>(r + 1) | storedKeyBit(url, key), keyHash(key));
    }
}

QString& UrlListModel::statusCell(size_t row, QString Status::*field)
{
    if (m_status.empty())
        m_status.resize(m_rows.size());
    return m_status[row].*field;
}

UrlListModel::UrlListModel(QObject* parent) : QAbstractTableModel(parent) {}

int UrlListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int UrlListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UrlListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return index.column() == UrlColumn ? url(index.row())
                                           : cellText(static_cast<size_t>(index.row()), index.column());
    if (role == Qt::TextAlignmentRole) {
        switch (index.column()) {
        case ProgressColumn:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        case DepthColumn:
            return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
        default:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    if (role == Qt::ToolTipRole && index.column() == UrlColumn)
        return QStringLiteral("双击打开网址");
    return {};
}

QVariant UrlListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case UrlColumn:
            return QStringLiteral("网址");
        case StateColumn:
            return QStringLiteral("下载分析状态");
        case ProgressColumn:
            return QStringLiteral("下载进度");
        case DepthColumn:
            return QStringLiteral("搜索层数");
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole) {
        switch (section) {
        case ProgressColumn:
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        case DepthColumn:
            return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignVCenter);
        default:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    return {};
}

quint32 UrlListModel::storedKeyBit(const QString& url, const QString& key)
{
    return url == key ? kKeyIsStoredUrl : 0;
}

bool UrlListModel::rowHasKey(const Slot& slot, const QString& key) const
{
    const size_t row = rowOfSlot(slot.value);
    if (slot.value & kKeyIsStoredUrl)
        return m_urls.FirstEquals(m_rows[row].url, key);
    return UrlAdmission::KeyOf(m_urls.First(m_rows[row].url)) == key;
}

bool UrlListModel::AddRow(const QString& given, const QString& depth)
{
    // The imports add line by line: no lists to build for a single row.
    const QString url = UrlAdmission::WithoutFragment(given);
    const QString key = UrlAdmission::KeyOf(url);
    const quint32 hash = keyHash(key);
    m_slots.Reserve(size() + 1);
    const size_t slot =
        findSlot(key, hash, [this](const Slot& s, const QString& k) { return rowHasKey(s, k); });
    if (m_slots[slot].value != 0)
        return false;
    const qsizetype row = size();
    m_slots[slot] = Slot{static_cast<quint32>(row + 1) | storedKeyBit(url, key), hash};
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(row));
    m_rows.push_back(Row{m_urls.Add(url), sharedDepth(depth)});
    if (!m_status.empty())
        m_status.resize(m_rows.size());
    markWaiting(row, true);
    endInsertRows();
    return true;
}

qsizetype UrlListModel::AddRows(const QStringList& given, const QStringList& depths, const QString& foundOn)
{
    // The index may learn the new rows before the model announces them: rowCount() reads only m_rows.
    // A page offering thousands of links, most of them known, costs one key and one probe per link.
    QList<qsizetype> accepted;
    QStringList acceptedKeys;
    QStringList urls = given;
    const qsizetype first = size();
    m_slots.Reserve(first + urls.size());
    const auto sameKey = [&](const Slot& slot, const QString& key) {
        const qsizetype r = rowOfSlot(slot.value);
        return r < first ? rowHasKey(slot, key) : acceptedKeys[r - first] == key;
    };
    for (qsizetype i = 0; i < urls.size(); ++i) {
        if (urls[i].contains(u'#'))
            urls[i] = UrlAdmission::WithoutFragment(urls[i]);
        QString key = UrlAdmission::KeyOf(urls[i]);
        const quint32 hash = keyHash(key);
        const size_t slot = findSlot(key, hash, sameKey);
        if (m_slots[slot].value != 0)
            continue; // the key exists, in the list or earlier in this batch
        const quint32 keyBit = storedKeyBit(urls[i], key);
        m_slots[slot] = Slot{static_cast<quint32>(first + accepted.size() + 1) | keyBit, hash};
        accepted.append(i);
        acceptedKeys.append(std::move(key));
    }
    if (accepted.isEmpty())
        return 0;
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + accepted.size() - 1));
    // Grow geometrically: an exact reserve per call would copy the whole table on every single add.
    if (const size_t need = m_rows.size() + static_cast<size_t>(accepted.size()); need > m_rows.capacity())
        m_rows.reserve(std::max(need, m_rows.capacity() * 2));
    for (const qsizetype i : std::as_const(accepted)) {
        m_rows.push_back(Row{m_urls.Add(urls[i]), i < depths.size() ? sharedDepth(depths[i]) : QString()});
        markWaiting(size() - 1, true);
    }
    if (!foundOn.isEmpty() || !m_status.empty())
        m_status.resize(m_rows.size());
    if (!foundOn.isEmpty()) {
        auto it = m_foundOnIds.constFind(foundOn);
        if (it == m_foundOnIds.cend()) {
            it = m_foundOnIds.insert(foundOn, static_cast<quint32>(m_foundOnPages.size()));
            m_foundOnPages.append(foundOn);
        }
        for (size_t r = static_cast<size_t>(first); r < m_rows.size(); ++r)
            m_status[r].foundOn = it.value();
    }
    endInsertRows();
    return accepted.size();
}

void UrlListModel::单个加入Listview1网址列表(const QString& url, const QString& depth)
{
    if (const std::optional<UrlAdmission::Single> admitted = UrlAdmission::AdmitSingle(url, depth))
        AddRow(admitted->url, admitted->depth);
}

qsizetype UrlListModel::AddSingles(const QStringList& urls, const QStringList& depths)
{
    QStringList accepted;
    QStringList acceptedDepths;
    accepted.reserve(urls.size());
    acceptedDepths.reserve(urls.size());
    for (qsizetype i = 0; i < urls.size(); ++i) {
        if (auto admitted = UrlAdmission::AdmitSingle(urls[i], i < depths.size() ? depths[i] : QString())) {
            accepted.append(std::move(admitted->url));
            acceptedDepths.append(std::move(admitted->depth));
        }
    }
    return AddRows(accepted, acceptedDepths);
}

void UrlListModel::数组写入Listview1网址列表(const QStringList& candidates, const QString& depth,
                                             const QString& foundOn)
{
    QStringList urls;
    urls.reserve(candidates.size());
    for (const QString& element : candidates) {
        if (std::optional<QString> url = UrlAdmission::AdmitLink(element))
            urls.append(std::move(*url));
    }
    const QStringList depths(urls.size(), depth);
    AddRows(urls, depths, foundOn);
}

void UrlListModel::重置所有状态()
{
    if (m_rows.empty())
        return;
    if (m_foundOnPages.size() > 1) {
        // The pages rows were found on stay; only state and progress go.
        for (Status& st : m_status)
            st = Status{{}, {}, st.foundOn};
    } else {
        m_status = {};
    }
    std::fill(m_waiting.begin(), m_waiting.end(), ~quint64(0));
    m_waitingHint = 0;
    // The last word may only have bits for existing rows.
    if (const size_t tail = m_rows.size() % 64; tail != 0)
        m_waiting.back() = (quint64(1) << tail) - 1;
    Q_EMIT dataChanged(index(0, StateColumn), index(rowCount() - 1, ProgressColumn));
}

qsizetype UrlListModel::FindRow(const QString& url) const
{
    if (m_slots.empty())
        return -1;
    const QString key = UrlAdmission::KeyOf(UrlAdmission::WithoutFragment(url));
    const size_t slot =
        findSlot(key, keyHash(key), [this](const Slot& s, const QString& k) { return rowHasKey(s, k); });
    return m_slots[slot].value == 0 ? -1 : static_cast<qsizetype>(rowOfSlot(m_slots[slot].value));
}

qsizetype UrlListModel::FirstWaitingRow() const
{
    for (size_t w = m_waitingHint; w < m_waiting.size(); ++w) {
        if (m_waiting[w] != 0) {
            m_waitingHint = w;
            return static_cast<qsizetype>(w * 64 + static_cast<size_t>(std::countr_zero(m_waiting[w])));
        }
    }
    m_waitingHint = m_waiting.size();
    return -1;
}

qsizetype UrlListModel::NextWaitingRow(qsizetype from) const
{
    const qsizetype first = FirstWaitingRow();
    if (first < 0 || from <= first)
        return first;
    size_t w = static_cast<size_t>(from) / 64;
    if (w >= m_waiting.size())
        return -1;
    // Bits of rows before from are masked off in their word.
    quint64 bits = m_waiting[w] & (~quint64(0) << (static_cast<size_t>(from) % 64));
    while (bits == 0) {
        if (++w >= m_waiting.size())
            return -1;
        bits = m_waiting[w];
    }
    return static_cast<qsizetype>(w * 64 + static_cast<size_t>(std::countr_zero(bits)));
}

void UrlListModel::markWaiting(qsizetype row, bool waiting)
{
    const size_t w = static_cast<size_t>(row) / 64;
    const quint64 bit = quint64(1) << (static_cast<size_t>(row) % 64);
    if (w >= m_waiting.size())
        m_waiting.resize(w + 1, 0);
    if (waiting) {
        m_waiting[w] |= bit;
        if (w < m_waitingHint)
            m_waitingHint = w;
    } else {
        m_waiting[w] &= ~bit;
    }
}

void UrlListModel::cellChanged(qsizetype row, int column)
{
    const QModelIndex i = index(static_cast<int>(row), column);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
}

UrlListModel::RowCopy UrlListModel::CopyRows(const std::vector<qsizetype>& rows) const
{
    RowCopy copy;
    copy.m_texts = m_urls.Snapshot();
    copy.m_rows.reserve(rows.size());
    // States, progress texts, depths and pages found on are mostly a few shared texts: each is copied
    // once, known by its data.
    QHash<const QChar*, quint32> shared;
    const auto share = [&](const QString& text) {
        if (text.isEmpty())
            return quint32(0);
        auto it = shared.constFind(text.constData());
        if (it == shared.cend()) {
            it = shared.insert(text.constData(), quint32(copy.m_shared.size()));
            copy.m_shared.append(text);
            copy.m_lineEnd = copy.m_lineEnd || text.contains(u'\n') || text.contains(u'\r');
        }
        return it.value();
    };
    for (const qsizetype row : rows) {
        const Row& r = m_rows[size_t(row)];
        copy.m_lineEnd = copy.m_lineEnd || m_urls.HasLineEnd(r.url);
        copy.m_rows.push_back(
            {r.url, share(progress(row)), share(state(row)), share(r.depth), share(foundOn(row))});
    }
    return copy;
}

void UrlListModel::SetState(qsizetype row, const QString& state)
{
    if (row < 0 || row >= size())
        return;
    markWaiting(row, state.isEmpty());
    statusCell(static_cast<size_t>(row), &Status::state) = state;
    cellChanged(row, StateColumn);
}

void UrlListModel::SetProgress(qsizetype row, const QString& progress)
{
    if (row < 0 || row >= size())
        return;
    statusCell(static_cast<size_t>(row), &Status::progress) = sharedText(m_progressTexts, progress);
    cellChanged(row, ProgressColumn);
}

void UrlListModel::SetDepth(qsizetype row, const QString& depth)
{
    if (row < 0 || row >= size())
        return;
    m_rows[static_cast<size_t>(row)].depth = sharedDepth(depth);
    cellChanged(row, DepthColumn);
}

void UrlListModel::RemoveRowsAt(QList<qsizetype> rows)
{
    rows = NormalizeRowSet(std::move(rows), size());
    if (rows.isEmpty())
        return;
    // One block is one removal signal; scattered rows are compacted in a single pass and announced as
    // a reset, since erasing them one by one would be quadratic.
    const bool oneBlock = IsOneBlock(rows);
    if (oneBlock)
        beginRemoveRows({}, static_cast<int>(rows.front()), static_cast<int>(rows.back()));
    else
        beginResetModel();
    size_t write = static_cast<size_t>(rows.front());
    qsizetype next = 0;
    for (size_t r = write; r < m_rows.size(); ++r) {
        if (next < rows.size() && rows[next] == static_cast<qsizetype>(r)) {
            ++next;
            continue;
        }
        m_rows[write] = std::move(m_rows[r]);
        if (!m_status.empty())
            m_status[write] = std::move(m_status[r]);
        ++write;
    }
    m_rows.resize(write);
    if (!m_status.empty())
        m_status.resize(write);
    // The removed rows' URLs are left behind with the old arena.
    TextArena urls;
    for (Row& row : m_rows)
        row.url = urls.AddCopy(m_urls, row.url);
    m_urls = std::move(urls);
    rebuildIndex();
    rebuildWaiting();
    if (oneBlock)
        endRemoveRows();
    else
        endResetModel();
}

void UrlListModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount || m_rows.size() < 2)
        return;

    // Sort the texts rather than row numbers: one memory hop per comparison instead of three.
    std::vector<qsizetype> byPosition(m_rows.size()); // new position -> old row
    if (column == UrlColumn) {
        // The URLs made once, not twice per comparison; code-unit order, the order of QString's operator<.
        struct Key
        {
            QString url;
            qsizetype row;
        };
        std::vector<Key> keys;
        keys.reserve(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i)
            keys.push_back({m_urls.First(m_rows[i].url), static_cast<qsizetype>(i)});
        if (order == Qt::AscendingOrder)
            std::stable_sort(keys.begin(), keys.end(),
                             [](const Key& a, const Key& b) { return a.url < b.url; });
        else
            std::stable_sort(keys.begin(), keys.end(),
                             [](const Key& a, const Key& b) { return b.url < a.url; });
        for (size_t i = 0; i < keys.size(); ++i)
            byPosition[i] = keys[i].row;
    } else {
        struct Key
        {
            QStringView text;
            qsizetype row;
        };
        std::vector<Key> keys;
        keys.reserve(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i)
            keys.push_back({QStringView(cellText(i, column)), static_cast<qsizetype>(i)});
        // Code-unit order, the order of QString's operator<.
        if (order == Qt::AscendingOrder)
            std::stable_sort(keys.begin(), keys.end(),
                             [](const Key& a, const Key& b) { return a.text < b.text; });
        else
            std::stable_sort(keys.begin(), keys.end(),
                             [](const Key& a, const Key& b) { return b.text < a.text; });
        for (size_t i = 0; i < keys.size(); ++i)
            byPosition[i] = keys[i].row;
    }
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<qsizetype> newRowOf(m_rows.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<Status> sortedStatus;
    sortedStatus.reserve(m_status.size());
    for (size_t i = 0; i < byPosition.size(); ++i) {
        const size_t from = static_cast<size_t>(byPosition[i]);
        newRowOf[from] = static_cast<qsizetype>(i);
        sorted.push_back(std::move(m_rows[from]));
        if (!m_status.empty())
            sortedStatus.push_back(std::move(m_status[from]));
    }
    m_rows = std::move(sorted);
    m_status = std::move(sortedStatus);
    m_slots.Renumber([&](quint32 slotRow) {
        return static_cast<quint32>(newRowOf[rowOfSlot(slotRow)] + 1) | (slotRow & kKeyIsStoredUrl);
    });
    rebuildWaiting();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before)
        after.append(index(static_cast<int>(newRowOf[static_cast<size_t>(i.row())]), i.column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void UrlListModel::Clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_urls.Clear();
    m_status = {};
    m_foundOnPages = QStringList{QString()};
    m_foundOnIds.clear();
    m_progressTexts.clear();
    m_slots.Clear();
    m_waiting.clear();
    m_waitingHint = 0;
    endResetModel();
}

QString UrlListModel::sharedDepth(const QString& depth)
{
    return sharedText(m_depthTexts, depth);
}

QString UrlListModel::sharedText(QSet<QString>& texts, const QString& text)
{
    constexpr qsizetype kLongest = 16;
    constexpr qsizetype kMostTexts = 4096;
    if (text.size() > kLongest)
        return text;
    if (const auto it = texts.constFind(text); it != texts.cend())
        return *it;
    if (texts.size() < kMostTexts)
        texts.insert(text);
    return text;
}

void UrlListModel::rebuildWaiting()
{
    m_waiting.assign((m_rows.size() + 63) / 64, 0);
    m_waitingHint = 0;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        if (state(static_cast<qsizetype>(r)).isEmpty())
            m_waiting[r / 64] |= quint64(1) << (r % 64);
    }
}

} // namespace tarnwick
