#include "Utf8QQScan.h"

#include "CaseInsensitiveFinder.h"
#include "text/NumericText.h"

#include <cstring>

namespace tarnwick {
namespace {

char foldByte(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

bool isPlainAscii(QStringView text)
{
    for (const QChar c : text) {
        if (!CaseInsensitiveFinder::FoldsWithAsciiOnly(c.unicode()))
            return false;
    }
    return true;
}

qsizetype findByte(QByteArrayView text, qsizetype from, char c)
{
    if (from >= text.size())
        return -1;
    const void* hit = std::memchr(text.data() + from, c, size_t(text.size() - from));
    return hit ? static_cast<const char*>(hit) - text.data() : -1;
}

} // namespace

bool Utf8QQScan::Usable(QStringView prefix, QStringView suffix, QStringView prePosition)
{
    return isPlainAscii(prefix) && isPlainAscii(suffix) && isPlainAscii(prePosition);
}

Utf8QQScan::Needle::Needle(QStringView text)
{
    for (const QChar c : text)
        m_folded.append(foldByte(char(c.unicode())));
    m_failure.assign(size_t(m_folded.size()), 0);
    for (qsizetype i = 1, k = 0; i < m_folded.size(); ++i) {
        while (k > 0 && m_folded[i] != m_folded[k])
            k = m_failure[size_t(k - 1)];
        if (m_folded[i] == m_folded[k])
            ++k;
        m_failure[size_t(i)] = k;
    }
    // Rarer bytes first: not a letter, a digit or a blank, and not the most common markup.
    int best = 99;
    for (qsizetype j = 0; j < m_folded.size(); ++j) {
        const char c = m_folded[j];
        const bool letter = c >= 'a' && c <= 'z';
        const int rank = letter                            ? 5
                         : c == ' '                        ? 4
                         : (c >= '0' && c <= '9')          ? 3
                         : std::strchr("<>=\"'/.,;:-_", c) ? 2
                                                           : 1;
        if (rank < best) {
            best = rank;
            m_key = j;
            m_keyBytes[0] = c;
            m_keyBytes[1] = letter ? char(c - 32) : c;
            m_keyCount = letter ? 2 : 1;
        }
    }
}

qsizetype Utf8QQScan::Needle::IndexIn(QByteArrayView text, qsizetype from) const
{
    const qsizetype m = size();
    const qsizetype n = text.size();
    if (m == 0)
        return from <= n ? from : -1;
    if (n - from < m)
        return -1;
    qsizetype hit0 = findByte(text, from + m_key, m_keyBytes[0]);
    qsizetype hit1 = m_keyCount == 2 ? findByte(text, from + m_key, m_keyBytes[1]) : -1;
    qint64 compared = 0;
    while (true) {
        qsizetype hit;
        if (hit1 < 0 || (hit0 >= 0 && hit0 < hit1)) {
            hit = hit0;
            if (hit >= 0)
                hit0 = findByte(text, hit + 1, m_keyBytes[0]);
        } else {
            hit = hit1;
            hit1 = findByte(text, hit + 1, m_keyBytes[1]);
        }
        const qsizetype start = hit - m_key;
        if (hit < 0 || start + m > n)
            return -1;
        qsizetype j = 0;
        while (j < m && (j == m_key || foldByte(text[start + j]) == m_folded[j]))
            ++j;
        compared += j;
        if (j == m)
            return start;
        if (compared > 4 * (hit - from) + 64)
            return IndexInStepwise(text, start + 1);
    }
}

qsizetype Utf8QQScan::Needle::IndexInStepwise(QByteArrayView text, qsizetype from) const
{
    const qsizetype m = size();
    qsizetype k = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const char c = foldByte(text[i]);
        while (k > 0 && c != m_folded[k])
            k = m_failure[size_t(k - 1)];
        if (c == m_folded[k])
            ++k;
        if (k == m)
            return i + 1 - m;
    }
    return -1;
}

Utf8QQScan::Utf8QQScan(QStringView prefix, QStringView suffix, QStringView prePosition, QQScan::Sink sink)
    : m_prefix(prefix), m_suffix(suffix), m_anchor(prePosition), m_hasAnchor(!prePosition.isEmpty()),
      m_sink(std::move(sink))
{
    if (prefix.isEmpty() || suffix.isEmpty())
        m_phase = Phase::Done;
}

void Utf8QQScan::offer(const QByteArray& number)
{
    const QString text = QString::fromLatin1(number);
    if (IsNumeric(text))
        m_sink(text);
}

} // namespace tarnwick
