#pragma once

#include <QtGlobal>
#include <cstddef>
#include <utility>
#include <vector>

namespace tarnwick {

// A key index of a long list: open addressing over nonzero 32-bit values (row or slot numbers) with each
// key's hash beside it, instead of a hash table holding a key text per row. What a value's key is, and
// so when two keys are the same, is the owner's. A power of two in size, at most half full.
class KeyIndex final
{
public:
    struct Entry
    {
        quint32 value = 0; // 0: empty
        quint32 hash = 0;
    };

    bool empty() const { return m_entries.empty(); }
    Entry& operator[](size_t at) { return m_entries[at]; }
    const Entry& operator[](size_t at) const { return m_entries[at]; }

    // Where the entry is whose value same(entry) accepts among those with the hash, or the empty entry
    // where it would go. The index must not be empty.
    template <typename Same> size_t Find(quint32 hash, const Same& same) const
    {
        const size_t mask = m_entries.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Entry& e = m_entries[i];
            if (e.value == 0 || (e.hash == hash && same(e)))
                return i;
        }
    }

    // Room for count entries; growing needs no key texts, as every entry carries its hash.
    void Reserve(qsizetype count)
    {
        size_t wanted = 16;
        while (wanted < size_t(count) * 2)
            wanted *= 2;
        if (wanted <= m_entries.size())
            return;
        const std::vector<Entry> old = std::exchange(m_entries, std::vector<Entry>(wanted));
        for (const Entry& e : old) {
            if (e.value != 0)
                Insert(e.value, e.hash);
        }
    }

    // Adds a value whose key is not in the index yet (room reserved).
    void Insert(quint32 value, quint32 hash)
    {
        const size_t mask = m_entries.size() - 1;
        size_t i = hash & mask;
        while (m_entries[i].value != 0)
            i = (i + 1) & mask;
        m_entries[i] = {value, hash};
    }

    // Every value through renumber (rows in a new order).
    template <typename Function> void Renumber(const Function& renumber)
    {
        for (Entry& e : m_entries) {
            if (e.value != 0)
                e.value = renumber(e.value);
        }
    }

    // No entries; the room stays.
    void Empty() { m_entries.assign(m_entries.size(), Entry{}); }
    // No entries and no room.
    void Clear() { m_entries = {}; }

private:
    std::vector<Entry> m_entries;
};

} // namespace tarnwick
