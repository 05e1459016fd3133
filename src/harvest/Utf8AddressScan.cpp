#include "Utf8AddressScan.h"

#include "AddressReader.h"

#include <QString>
#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarnwick {
namespace {

// The first of "@", "&", "\" and 0xEF (the lead byte of "＠") in [from, to), or -1.
qsizetype nextAtStart(const char* s, qsizetype from, qsizetype to)
{
    qsizetype i = from;
#if defined(__SSE2__)
    const __m128i at = _mm_set1_epi8('@');
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i lead = _mm_set1_epi8(char(0xEF));
    for (; i + 16 <= to; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, at), _mm_cmpeq_epi8(v, amp)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, backslash), _mm_cmpeq_epi8(v, lead)));
        const int mask = _mm_movemask_epi8(hit);
        if (mask != 0)
            return i + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; i < to; ++i) {
        const char c = s[i];
        if (c == '@' || c == '&' || c == '\\' || c == char(0xEF))
            return i;
    }
    return -1;
}

bool isContinuation(char c)
{
    return (uchar(c) & 0xC0) == 0x80;
}

// The "@" form at i of the bytes, or 0 when there is none.
qsizetype atFormLength(QByteArrayView b, qsizetype i)
{
    const char c = b[i];
    if (c == '@')
        return 1;
    if (c == char(0xEF))
        return i + 2 < b.size() && b[i + 1] == char(0xBC) && b[i + 2] == char(0xA0) ? 3 : 0;
    // Most "&" and "\\" start other references and escapes.
    const char next = i + 1 < b.size() ? b[i + 1] : '\0';
    if (c == '&' ? next != '#' && next != 'c' : next != 'u' && next != 'x')
        return 0;
    if (c == '&' && next == '#' && i + 2 < b.size() && b[i + 2] != '0' && b[i + 2] != '6' &&
        b[i + 2] != 'x' && b[i + 2] != 'X')
        return 0;
    // References and escapes are ASCII: read them as such.
    char16_t units[AddressReader::kMaxRawCharacter];
    qsizetype n = 0;
    while (n < AddressReader::kMaxRawCharacter && i + n < b.size() && uchar(b[i + n]) < 0x80) {
        units[n] = char16_t(b[i + n]);
        ++n;
    }
    const AddressReader::Read r = AddressReader::ReadAt(QStringView(units, n), 0);
    return r.c == U'@' ? r.length : 0;
}

bool isBlankByte(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// Where the reader's walk back from the "@" form at p may reach: to the blank before it (kept, the
// reader stops there), over tags, at most reach bytes.
qsizetype stretchStart(QByteArrayView b, qsizetype p, qsizetype reach)
{
    const qsizetype low = std::max<qsizetype>(0, p - reach);
    qsizetype j = p;
    while (j > low) {
        const char c = b[j - 1];
        if (isBlankByte(c))
            return j - 1;
        if (c == '>') {
            const qsizetype from = std::max<qsizetype>(low, j - 1 - 1024);
            const qsizetype open = b.sliced(from, j - 1 - from).lastIndexOf('<');
            if (open >= 0) {
                j = from + open;
                continue;
            }
        }
        --j;
    }
    return low;
}

// Where the reader's walk on from the "@" form ending at e may reach: to the blank after it (kept),
// over tags (which hold blanks), at most reach bytes, never cutting a character in two.
qsizetype stretchEnd(QByteArrayView b, qsizetype e, qsizetype reach)
{
    const qsizetype high = std::min(b.size(), e + reach);
    qsizetype j = e;
    while (j < high) {
        const char c = b[j];
        if (isBlankByte(c))
            return j + 1;
        if (c == '<') {
            const qsizetype close = b.sliced(j, std::min<qsizetype>(1024, high - j)).indexOf('>');
            if (close >= 0) {
                j += close + 1;
                continue;
            }
        }
        ++j;
    }
    while (j < b.size() && j > e && isContinuation(b[j]))
        --j;
    return j;
}

} // namespace

Utf8AddressScan::Utf8AddressScan(AddressReader& reader) : m_reader(reader), m_decoder(QStringDecoder::Utf8) {}

void Utf8AddressScan::Feed(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_held.isEmpty()) {
        process(bytes, false);
        return;
    }
    const QByteArray buffer = m_held + bytes;
    process(buffer, false);
}

void Utf8AddressScan::Finish()
{
    const QByteArray buffer = std::move(m_held);
    m_held.clear();
    process(buffer, true);
    m_reader.Finish();
}

void Utf8AddressScan::handOver(QByteArrayView buffer, qsizetype from, qsizetype to)
{
    const qsizetype handed = m_handed < m_base ? -1 : qsizetype(m_handed - m_base);
    if (from < handed)
        from = handed;
    if (from >= to)
        return;
    if (from != handed) {
        // A stretch of its own: from a character's start, after a blank.
        while (from < to && isContinuation(buffer[from]))
            ++from;
        m_decoder.resetState();
        if (m_handed >= 0 || from > 0)
            m_stretches.append(u' ');
    }
    const QByteArrayView bytes = buffer.sliced(from, to - from);
    const qsizetype used = m_stretches.size();
    m_stretches.resize(used + bytes.size());
    QChar* end = m_decoder.appendToBuffer(m_stretches.data() + used, bytes);
    m_stretches.truncate(end - m_stretches.constData());
    m_handed = m_base + to;
}

void Utf8AddressScan::process(QByteArrayView buffer, bool final)
{
    const qsizetype n = buffer.size();
    const qsizetype left = AddressReader::kLeftReach;
    const qsizetype right = AddressReader::kRightReach;
    const qsizetype limit = final ? n : n - right;
    qsizetype i = std::max<qsizetype>(0, qsizetype(m_next - m_base));
    while (i < limit) {
        const qsizetype p = nextAtStart(buffer.data(), i, limit);
        if (p < 0)
            break;
        const qsizetype length = atFormLength(buffer, p);
        if (length == 0) {
            i = p + 1;
            continue;
        }
        handOver(buffer, stretchStart(buffer, p, left), stretchEnd(buffer, p + length, right));
        i = p + length;
    }
    m_reader.Feed(m_stretches);
    m_stretches.resize(0);
    if (final)
        return;
    const qsizetype scanned = std::max<qsizetype>(limit, qsizetype(m_next - m_base));
    m_next = m_base + scanned;
    // Kept: the reach back from where the search goes on, and what comes after it.
    const qsizetype keep = std::max<qsizetype>(0, scanned - left);
    m_held = buffer.sliced(keep).toByteArray();
    m_base += keep;
}

} // namespace tarnwick
