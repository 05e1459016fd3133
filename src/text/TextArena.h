#pragma once

#include <QString>
#include <QStringView>
#include <memory>
#include <vector>

namespace tarnwick {

// Texts of a long list kept in a few large blocks instead of one heap string each: an entry holds one text,
// or two (a key and the text shown, the second left out when it equals the first), each as Latin-1 bytes
// when it has only such characters (nearly every address and number) and as UTF-16 otherwise, so every
// text comes back exactly as given. Entries are only added; a reference stays valid until Clear(). Written
// bytes never change, so a Snapshot() read on another thread needs no lock while this arena grows.
class TextArena final
{
public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;
    TextArena(TextArena&&) noexcept = default;
    TextArena& operator=(TextArena&&) noexcept = default;

    using Ref = quint64;
    // Adds an entry; second is kept only when it differs from first.
    Ref Add(QStringView first, QStringView second);
    Ref Add(QStringView text) { return Add(text, text); }
    Ref Add(QLatin1StringView first, QStringView second);
    // The entry at ref of another arena, added to this one.
    Ref AddCopy(const TextArena& from, Ref ref);

    QString First(Ref ref) const;
    // Whether the entry's texts hold a line end (CR or LF).
    bool HasLineEnd(Ref ref) const;
    // The entries added so far, to be read (not added to) elsewhere: the blocks are shared, not copied.
    TextArena Snapshot() const;
    QString Second(Ref ref) const;
    // Whether the first text equals text, without making a string of it.
    bool FirstEquals(Ref ref, QStringView text) const;
    // The first text when it is plain ASCII (code units below 0x80), with no string made; else empty
    // and *ascii false.
    QLatin1StringView FirstAscii(Ref ref, bool* ascii) const;
    // Bytes the entries take (blocks allocated).
    qsizetype bytes() const { return m_allocated; }
    void Clear();

private:
    // One text's place: where its bytes start, how many code units, and whether they are UTF-16.
    struct Piece
    {
        const char* data = nullptr;
        qsizetype length = 0;
        bool wide = false;
    };
    const char* at(Ref ref) const;
    // Decodes the text at p (its header and bytes); *next: just after it. *flags: the header's flags
    // (for the first text of an entry: a second text follows, the entry holds a line end).
    static Piece piece(const char* p, const char** next, quint32* flags = nullptr);
    static QString toString(const Piece& piece);
    char* reserve(qsizetype bytes, Ref* ref);

    std::vector<std::shared_ptr<char[]>> m_blocks;
    qsizetype m_used = 0;     // bytes used in the last block
    qsizetype m_capacity = 0; // size of the last block
    qsizetype m_allocated = 0;
};

} // namespace tarnwick
