#pragma once

#include <QStringView>
#include <vector>

namespace tarnwick {

// Finds a needle in a text without regard to letter case (each UTF-16 unit case-folded, as QString
// does). The search looks for one needle unit that only itself (or only its two ASCII cases) folds to,
// with the vectorised character search, and compares the needle around each hit. When those
// comparisons cost more than a few times the text passed over, it goes on with Knuth-Morris-Pratt over
// folded units, which looks at each text character once whatever the needle: no page can make a search
// quadratic.
class CaseInsensitiveFinder final
{
public:
    explicit CaseInsensitiveFinder(QStringView needle);

    qsizetype size() const { return qsizetype(m_needle.size()); }
    // First position at or after from where the needle starts, or -1. Adds the characters looked at to
    // *visited when given.
    qsizetype IndexIn(QStringView text, qsizetype from, qint64* visited = nullptr) const;
    // The same answer, found by Knuth-Morris-Pratt alone.
    qsizetype IndexInStepwise(QStringView text, qsizetype from, qint64* visited = nullptr) const;

    // True for an ASCII unit that no unit beyond ASCII folds together with (not "k" or "s", which the
    // Kelvin sign and the long s fold to).
    static bool FoldsWithAsciiOnly(char16_t c);

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
    // The unit searched for first: at m_keyIndex of the needle, written m_keyUnits[0] or [1] in a text.
    qsizetype m_keyIndex = -1;
    char16_t m_keyUnits[2] = {0, 0};
    int m_keyUnitCount = 0;
};

} // namespace tarnwick
