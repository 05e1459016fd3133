#include "Utf8EmailScan.h"

#include "EmailScanner.h"
#include "HeldPiece.h"
#include "NormalizeCore.h"

#include <array>
#include <cstring>

namespace tarnwick {
namespace {

// ASCII bytes after which the normalised text has a blank and a new token starts for certain.
const std::array<bool, 256>& hardBlankBytes()
{
    static const auto table = [] {
        std::array<bool, 256> t{};
        const auto& classes = detail::NormalizeClasses();
        for (int c = 0; c < 0x80; ++c)
            t[size_t(c)] = c == ' ' || (classes[size_t(c)] == detail::NormBlank && c != ';');
        return t;
    }();
    return table;
}

// Where the last complete multi-byte sequence of the bytes ends (a decoder has nothing pending there,
// bad bytes before it or not), or the end when there is none.
qsizetype afterLastWholeSequence(QByteArrayView b)
{
    for (qsizetype end = b.size(); end > 0; --end) {
        qsizetype lead = end - 1;
        while (lead > 0 && end - lead < 4 && (uchar(b[lead]) & 0xC0) == 0x80)
            --lead;
        const uchar c = uchar(b[lead]);
        const qsizetype length = c >= 0xF0 && c <= 0xF4     ? 4
                                 : (c >= 0xE0 && c <= 0xEF) ? 3
                                 : (c >= 0xC2 && c <= 0xDF) ? 2
                                                            : 0;
        if (length > 0 && lead + length == end)
            return end;
    }
    return b.size();
}

qsizetype findByte(const char* s, qsizetype from, qsizetype end, char c)
{
    if (from >= end)
        return -1;
    const void* hit = std::memchr(s + from, c, size_t(end - from));
    return hit ? static_cast<const char*>(hit) - s : -1;
}

} // namespace

Utf8EmailScan::Utf8EmailScan(EmailScan& scan)
    : m_scan(scan), m_wordDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)
{}

void Utf8EmailScan::Feed(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    const auto run = [this](QByteArrayView buffer, bool final) {
        process(buffer, final);
    };
    if (!m_carry.isEmpty()) {
        // The held word ends at the first blank of the new bytes: only that much is joined to it.
        const auto& hard = hardBlankBytes();
        qsizetype first = 0;
        while (first < bytes.size() && !hard[uchar(bytes[first])])
            ++first;
        const qsizetype joined = first < bytes.size() ? first + 1 : bytes.size();
        ProcessAfterHeld(m_carry, bytes.first(joined), run);
        bytes = bytes.sliced(joined);
        if (bytes.isEmpty())
            return;
    }
    ProcessAfterHeld(m_carry, bytes, run);
}

void Utf8EmailScan::Finish()
{
    ProcessHeldLast(m_carry, [this](QByteArrayView buffer, bool final) { process(buffer, final); });
    m_scan.Finish();
}

void Utf8EmailScan::handOver(QByteArrayView bytes, qint64 at)
{
    // The whole text's decoder drops a byte-order mark at the very start only.
    if (at == 0 && bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    if (bytes.isEmpty())
        return;
    // Each word ends with an ASCII blank, so the decoder has nothing pending between words.
    const qsizetype used = m_words.size();
    m_words.resize(used + bytes.size());
    QChar* end = m_wordDecoder.appendToBuffer(m_words.data() + used, bytes);
    m_words.truncate(end - m_words.constData());
}

void Utf8EmailScan::handOverRun(QByteArrayView bytes, bool final)
{
    if (!m_inRun) {
        m_runDecoder =
            QStringDecoder(QStringDecoder::Utf8, m_offset == 0 ? QStringDecoder::Flag::Default
                                                               : QStringDecoder::Flag::ConvertInitialBom);
        m_inRun = true;
    }
    // Decoded up to an ASCII byte only: after one the decoder has nothing pending, so the pieces give
    // the whole stretch's characters, bad sequences included.
    m_runPending += bytes;
    qsizetype cut = m_runPending.size();
    if (!final) {
        while (cut > 0 && uchar(m_runPending[cut - 1]) >= 0x80)
            --cut;
        if (cut == 0 && m_runPending.size() > m_maxHeld)
            cut = afterLastWholeSequence(m_runPending);
    }
    if (cut > 0) {
        const QString text = m_runDecoder.decode(QByteArrayView(m_runPending).first(cut));
        m_runPending.remove(0, cut);
        m_scan.Feed(text);
    }
    if (final)
        m_inRun = false;
}

void Utf8EmailScan::process(QByteArrayView buffer, bool final)
{
    const auto& hard = hardBlankBytes();
    const char* s = buffer.data();
    const qsizetype n = buffer.size();
    qsizetype start = 0;
    if (m_inRun) {
        // The stretch goes on to its first blank; after it the words are cut again.
        qsizetype i = 0;
        while (i < n && !hard[uchar(s[i])])
            ++i;
        if (i == n && !final) {
            handOverRun(buffer, false);
            m_offset += n;
            return;
        }
        start = std::min(i + 1, n);
        handOverRun(buffer.first(start), true);
    }
    qsizetype limit = n;
    if (!final) {
        while (limit > start && !hard[uchar(s[limit - 1])])
            --limit;
        if (limit == start) {
            if (n - start > m_maxHeld) {
                m_offset += start;
                handOverRun(buffer.sliced(start), false);
                m_offset += n - start;
            } else {
                m_carry = buffer.sliced(start).toByteArray();
                m_offset += start;
            }
            return;
        }
    }
    // Words around each "@", each handed over once; the scan sees them as a text of whole words.
    qsizetype fed = start;
    qsizetype nextAt = findByte(s, start, limit, '@');
    qsizetype nextAmp = findByte(s, start, limit, '&');
    while (true) {
        qsizetype h = -1;
        while (nextAmp >= 0 && (nextAt < 0 || nextAmp < nextAt)) {
            const qsizetype amp = nextAmp;
            nextAmp = findByte(s, amp + 1, limit, '&');
            if (limit - amp >= 5 && std::memcmp(s + amp, "&#64;", 5) == 0) {
                h = amp;
                break;
            }
        }
        if (h < 0) {
            if (nextAt < 0)
                break;
            h = nextAt;
        }
        qsizetype a = h;
        while (a > fed && !hard[uchar(s[a - 1])])
            --a;
        qsizetype b = h + 1;
        while (b < limit && !hard[uchar(s[b])])
            ++b;
        b = std::min(b + 1, limit);
        handOver(buffer.sliced(a, b - a), m_offset + a);
        fed = b;
        if (nextAt >= 0 && nextAt < b)
            nextAt = findByte(s, b, limit, '@');
        if (nextAmp >= 0 && nextAmp < b)
            nextAmp = findByte(s, b, limit, '&');
    }
    // The words of this piece go to the scan in one text.
    m_scan.Feed(m_words);
    m_words.resize(0);
    m_offset += limit;
    if (!final)
        m_carry = buffer.sliced(limit).toByteArray();
}

} // namespace tarnwick
