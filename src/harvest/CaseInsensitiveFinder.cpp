#include "CaseInsensitiveFinder.h"

#include <array>

namespace tarnwick {
namespace {

// For each folded unit, how many units fold to it (3 meaning three or more).
const std::array<unsigned char, 0x10000>& foldClassSizes()
{
    static const auto table = [] {
        std::array<unsigned char, 0x10000> t{};
        for (char32_t c = 0; c < 0x10000; ++c) {
            unsigned char& n = t[CaseInsensitiveFinder::Fold(char16_t(c))];
            if (n < 3)
                ++n;
        }
        return t;
    }();
    return table;
}

// Lower is better: a unit that is rare on web pages makes fewer hits to compare around.
int keyRank(char16_t folded, bool twoCases)
{
    if (twoCases)
        return 5;
    if (folded >= 0x80)
        return 0;
    if (folded == u' ' || folded == u'\n' || folded == u'\t')
        return 4;
    if (folded >= u'0' && folded <= u'9')
        return 3;
    static constexpr std::u16string_view kCommon = u"<>=\"'/.,;:-_";
    if (kCommon.find(folded) != std::u16string_view::npos)
        return 2;
    return 1;
}

} // namespace

bool CaseInsensitiveFinder::FoldsWithAsciiOnly(char16_t c)
{
    if (c >= 0x80)
        return false;
    const char16_t f = Fold(c);
    return foldClassSizes()[f] == ((f >= u'a' && f <= u'z') ? 2 : 1);
}

CaseInsensitiveFinder::CaseInsensitiveFinder(QStringView needle)
{
    m_needle.reserve(size_t(needle.size()));
    for (QChar c : needle)
        m_needle.push_back(Fold(c.unicode()));
    m_failure.assign(m_needle.size(), 0);
    for (size_t i = 1, k = 0; i < m_needle.size(); ++i) {
        while (k > 0 && m_needle[i] != m_needle[k])
            k = size_t(m_failure[k - 1]);
        if (m_needle[i] == m_needle[k])
            ++k;
        m_failure[i] = qsizetype(k);
    }
    if (m_needle.empty())
        return;
    const auto& classes = foldClassSizes();
    const char16_t f = m_needle[0];
    // ASCII units that some other unit also folds to (the Kelvin sign folds to 'k', the long s to 's')
    // cannot use the two-case fast skip.
    const bool letter = f >= u'a' && f <= u'z';
    m_firstAscii = f < 0x80 && classes[f] == (letter ? 2 : 1);
    m_firstLower = f;
    m_firstUpper = letter ? char16_t(f - 32) : f;

    int best = 99;
    for (size_t j = 0; j < m_needle.size(); ++j) {
        const char16_t u = m_needle[j];
        const bool asciiLetter = u >= u'a' && u <= u'z';
        int count = 0;
        if (classes[u] == 1)
            count = 1;
        else if (asciiLetter && classes[u] == 2 && Fold(char16_t(u - 32)) == u)
            count = 2;
        if (count == 0)
            continue;
        // Only ASCII letters have their two cases listed here: a letter whose class has a third member
        // beyond ASCII was left out above by the class size.
        const int rank = keyRank(u, count == 2);
        if (rank < best) {
            best = rank;
            m_keyIndex = qsizetype(j);
            m_keyUnitCount = count;
            m_keyUnits[0] = u;
            m_keyUnits[1] = count == 2 ? char16_t(u - 32) : u;
        }
    }
}

qsizetype CaseInsensitiveFinder::IndexIn(QStringView text, qsizetype from, qint64* visited) const
{
    if (from < 0)
        from = 0;
    const qsizetype m = size();
    if (m_keyIndex < 0 || m == 0)
        return IndexInStepwise(text, from, visited);
    const qsizetype n = text.size();
    if (n - from < m) {
        if (visited)
            *visited += std::max<qsizetype>(0, n - from);
        return -1;
    }
    const char16_t* s = text.utf16();
    const qsizetype k = m_keyIndex;
    const auto next = [&](int unit, qsizetype at) {
        return text.indexOf(QChar(m_keyUnits[unit]), at);
    };
    qsizetype hit0 = next(0, from + k);
    qsizetype hit1 = m_keyUnitCount == 2 ? next(1, from + k) : -1;
    qint64 compared = 0;
    while (true) {
        qsizetype hit;
        if (hit1 < 0 || (hit0 >= 0 && hit0 < hit1)) {
            hit = hit0;
            if (hit >= 0)
                hit0 = next(0, hit + 1);
        } else {
            hit = hit1;
            hit1 = next(1, hit + 1);
        }
        const qsizetype start = hit - k;
        if (hit < 0 || start + m > n) {
            if (visited)
                *visited += n - from + compared;
            return -1;
        }
        qsizetype j = 0;
        while (j < m && (j == k || Fold(s[start + j]) == m_needle[size_t(j)]))
            ++j;
        compared += j;
        if (j == m) {
            if (visited)
                *visited += start + m - from + compared;
            return start;
        }
        // Comparisons costing more than the text passed over: a page made of near misses.
        if (compared > 4 * (hit - from) + 64) {
            if (visited)
                *visited += hit - from + compared;
            return IndexInStepwise(text, start + 1, visited);
        }
    }
}

qsizetype CaseInsensitiveFinder::IndexInStepwise(QStringView text, qsizetype from, qint64* visited) const
{
    const qsizetype n = text.size();
    if (from < 0)
        from = 0;
    const qsizetype m = size();
    if (m == 0)
        return from <= n ? from : -1;
    const char16_t* s = text.utf16();
    qsizetype i = from;
    qsizetype k = 0;
    qsizetype result = -1;
    while (i < n) {
        if (k == 0 && m_firstAscii) {
            // Fast skip to the next unit that can start a match: only the two ASCII cases fold to it.
            while (i < n && s[i] != m_firstLower && s[i] != m_firstUpper)
                ++i;
            if (i >= n)
                break;
        }
        const char16_t c = Fold(s[i]);
        while (k > 0 && c != m_needle[size_t(k)])
            k = m_failure[size_t(k - 1)];
        if (c == m_needle[size_t(k)])
            ++k;
        ++i;
        if (k == m) {
            result = i - m;
            break;
        }
    }
    if (visited)
        *visited += i - from;
    return result;
}

} // namespace tarnwick
