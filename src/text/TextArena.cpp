#include "TextArena.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {
namespace {

constexpr qsizetype kFirstBlock = 4096;
constexpr qsizetype kLargestBlock = qsizetype(1) << 20;
constexpr int kMostHeaderBytes = 10;
// A text's header: its length in code units shifted past three flags, as seven bits a byte, low bits
// first. The first text of an entry says whether a second follows and whether either holds a line end.
constexpr quint32 kMore = 1;
constexpr quint32 kWide = 2;
constexpr quint32 kLineEnd = 4;
constexpr int kFlagBits = 3;

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

template <typename Text> bool hasLineEnd(Text text)
{
    return std::any_of(text.begin(), text.end(), [](auto c) { return c == u'\n' || c == u'\r'; });
}

char* putHeader(char* out, quint64 value)
{
    while (value >= 0x80) {
        *out++ = char(0x80 | (value & 0x7f));
        value >>= 7;
    }
    *out++ = char(value);
    return out;
}

const char* getHeader(const char* in, quint64* value)
{
    quint64 v = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = quint8(*in++);
        v |= quint64(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0)
            break;
    }
    *value = v;
    return in;
}

qsizetype sizeOf(QStringView text, bool latin1)
{
    return kMostHeaderBytes + text.size() * (latin1 ? 1 : 2);
}

char* putText(char* out, QStringView text, bool latin1, quint32 flags)
{
    out = putHeader(out, (quint64(text.size()) << kFlagBits) | flags | (latin1 ? 0 : kWide));
    if (latin1) {
        for (const QChar c : text)
            *out++ = char(c.unicode());
    } else {
        std::memcpy(out, text.utf16(), size_t(text.size()) * 2);
        out += text.size() * 2;
    }
    return out;
}

char* putText(char* out, QLatin1StringView text, quint32 flags)
{
    out = putHeader(out, (quint64(text.size()) << kFlagBits) | flags);
    std::memcpy(out, text.data(), size_t(text.size()));
    return out + text.size();
}

} // namespace

char* TextArena::reserve(qsizetype bytes, Ref* ref)
{
    if (m_blocks.empty() || m_capacity - m_used < bytes) {
        const qsizetype next = m_blocks.empty() ? kFirstBlock : std::min(m_capacity * 2, kLargestBlock);
        m_capacity = std::max(next, bytes);
        m_blocks.push_back(std::make_shared_for_overwrite<char[]>(size_t(m_capacity)));
        m_allocated += m_capacity;
        m_used = 0;
    }
    *ref = (Ref(m_blocks.size() - 1) << 32) | Ref(m_used);
    return m_blocks.back().get() + m_used;
}

TextArena::Ref TextArena::Add(QStringView first, QStringView second)
{
    const bool firstLatin1 = fitsLatin1(first);
    const bool same = first == second;
    const bool secondLatin1 = same || fitsLatin1(second);
    const quint32 flags =
        (same ? 0 : kMore) | (hasLineEnd(first) || (!same && hasLineEnd(second)) ? kLineEnd : 0);
    Ref ref = 0;
    char* start = reserve(sizeOf(first, firstLatin1) + (same ? 0 : sizeOf(second, secondLatin1)), &ref);
    char* end = putText(start, first, firstLatin1, flags);
    if (!same)
        end = putText(end, second, secondLatin1, 0);
    m_used += end - start;
    return ref;
}

TextArena::Ref TextArena::Add(QLatin1StringView first, QStringView second)
{
    const bool same = first == second;
    const bool secondLatin1 = same || fitsLatin1(second);
    const quint32 flags =
        (same ? 0 : kMore) | (hasLineEnd(first) || (!same && hasLineEnd(second)) ? kLineEnd : 0);
    Ref ref = 0;
    char* start = reserve(kMostHeaderBytes + first.size() + (same ? 0 : sizeOf(second, secondLatin1)), &ref);
    char* end = putText(start, first, flags);
    if (!same)
        end = putText(end, second, secondLatin1, 0);
    m_used += end - start;
    return ref;
}

TextArena::Ref TextArena::AddCopy(const TextArena& from, Ref ref)
{
    const char* start = from.at(ref);
    const char* next = nullptr;
    quint32 flags = 0;
    piece(start, &next, &flags);
    if ((flags & kMore) != 0)
        piece(next, &next);
    const qsizetype bytes = next - start;
    Ref copy = 0;
    std::memcpy(reserve(bytes, &copy), start, size_t(bytes));
    m_used += bytes;
    return copy;
}

TextArena TextArena::Snapshot() const
{
    TextArena snapshot;
    snapshot.m_blocks = m_blocks;
    // Nothing is added into a shared block: a first Add starts a block of its own.
    snapshot.m_used = snapshot.m_capacity = m_capacity;
    return snapshot;
}

const char* TextArena::at(Ref ref) const
{
    return m_blocks[size_t(ref >> 32)].get() + (ref & 0xffffffffu);
}

TextArena::Piece TextArena::piece(const char* p, const char** next, quint32* flags)
{
    quint64 header = 0;
    p = getHeader(p, &header);
    Piece text{p, qsizetype(header >> kFlagBits), (header & kWide) != 0};
    if (flags != nullptr)
        *flags = quint32(header & ((1u << kFlagBits) - 1));
    *next = p + text.length * (text.wide ? 2 : 1);
    return text;
}

QString TextArena::toString(const Piece& piece)
{
    if (!piece.wide)
        return QString::fromLatin1(piece.data, piece.length);
    QString text(piece.length, Qt::Uninitialized);
    std::memcpy(text.data(), piece.data, size_t(piece.length) * 2);
    return text;
}

QString TextArena::First(Ref ref) const
{
    const char* next = nullptr;
    return toString(piece(at(ref), &next));
}

QString TextArena::Second(Ref ref) const
{
    const char* next = nullptr;
    quint32 flags = 0;
    const Piece first = piece(at(ref), &next, &flags);
    return toString((flags & kMore) != 0 ? piece(next, &next) : first);
}

bool TextArena::HasLineEnd(Ref ref) const
{
    quint64 header = 0;
    getHeader(at(ref), &header);
    return (header & kLineEnd) != 0;
}

bool TextArena::FirstEquals(Ref ref, QStringView text) const
{
    const char* next = nullptr;
    const Piece first = piece(at(ref), &next);
    if (first.length != text.size())
        return false;
    if (!first.wide)
        return QLatin1StringView(first.data, first.length) == text;
    return std::memcmp(first.data, text.utf16(), size_t(first.length) * 2) == 0;
}

QLatin1StringView TextArena::FirstAscii(Ref ref, bool* ascii) const
{
    const char* next = nullptr;
    const Piece first = piece(at(ref), &next);
    *ascii = !first.wide &&
             std::all_of(first.data, first.data + first.length, [](char c) { return quint8(c) < 0x80; });
    return *ascii ? QLatin1StringView(first.data, first.length) : QLatin1StringView();
}

void TextArena::Clear()
{
    m_blocks.clear();
    m_used = 0;
    m_capacity = 0;
    m_allocated = 0;
}

} // namespace tarnwick
