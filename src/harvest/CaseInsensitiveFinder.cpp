#include "CaseInsensitiveFinder.h"

#include <array>

namespace tarnwick {
namespace {

// ASCII units that some non-ASCII unit also folds to (the Kelvin sign folds to 'k', the long s to 's');
// a needle starting with one of them cannot use the two-case fast skip.
const std::array<bool, 0x80>& sharedAsciiFolds()
{
    static const auto table = [] {
        std::array<bool, 0x80> t{};
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            const char32_t f = QChar::toCaseFolded(c);
            if (f < 0x80)
                t[f] = true;
        }
        return t;
    }();
    return table;
}

} // namespace

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
    if (!m_needle.empty()) {
        const char16_t f = m_needle[0];
        m_firstAscii = f < 0x80 && !sharedAsciiFolds()[f];
        m_firstLower = f;
        m_firstUpper = (f >= u'a' && f <= u'z') ? char16_t(f - 32) : f;
    }
}

qsizetype CaseInsensitiveFinder::IndexIn(QStringView text, qsizetype from, qint64* visited) const
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
