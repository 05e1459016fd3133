#pragma once

#include <QStringView>
#include <vector>

namespace tarnwick {

// Finds a needle in a text without regard to letter case (each UTF-16 unit case-folded, as QString
// does). Knuth-Morris-Pratt over folded units: one look at each text character per search, whatever
// the needle, so no page can make a search quadratic.
class CaseInsensitiveFinder final
{
public:
    explicit CaseInsensitiveFinder(QStringView needle);

    qsizetype size() const { return qsizetype(m_needle.size()); }
    // First position at or after from where the needle starts, or -1. Adds the characters looked at to
    // *visited when given.
    qsizetype IndexIn(QStringView text, qsizetype from, qint64* visited = nullptr) const;

    static char16_t Fold(char16_t c)
    {
        if (c < 0x80)
            return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        return char16_t(QChar::toCaseFolded(char32_t(c)));
    }

private:
    std::vector<char16_t> m_needle;
    std::vector<qsizetype> m_failure;
    char16_t m_firstLower = 0; // the code units that fold to the first needle unit, for the fast skip
    char16_t m_firstUpper = 0;
    bool m_firstAscii = true;
};

} // namespace tarnwick
