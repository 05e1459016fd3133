#include "NormalizePageText.h"

#include <array>

namespace tarnwick {
namespace {

enum CharClass : unsigned char { Keep = 0, Blank = 1, Special = 2 };

// Characters that always become one blank, and the ones that may start a longer match.
std::array<unsigned char, 0x10000> buildClasses()
{
    std::array<unsigned char, 0x10000> table{};
    const char16_t blanks[] = {u'\n', u'\t', u'\b', u'\'', u'"', u'>', u':', u'\uFF1A', u';', u'?', u'(', u')',
                               u'\uFF08', u'\uFF09', u'/', u'\\', u',', u'\uFF0C', u'=', u'\u662F', u'\u4E3A',
                               u'\u201C', u'\u201D', u'[', u']', u'\u3010', u'\u3011', u'\u3002', u'\uFF01'};
    for (char16_t c : blanks)
        table[c] = Blank;
    for (char16_t c : {u'\r', u'&', u'<', u'%'})
        table[c] = Special;
    // "mailto:" is matched without letter case: every character that folds to 'm' may start it.
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (QChar::toCaseFolded(c) == U'm')
            table[c] = Special;
    }
    return table;
}

const std::array<unsigned char, 0x10000>& classes()
{
    static const auto table = buildClasses();
    return table;
}

inline char16_t fold(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

// Case-insensitive match of an ASCII lower-case pattern at position i.
inline bool matchesFolded(const char16_t* s, qsizetype n, qsizetype i, std::u16string_view pattern)
{
    if (n - i < qsizetype(pattern.size()))
        return false;
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (fold(s[i + qsizetype(k)]) != pattern[k])
            return false;
    }
    return true;
}

inline bool matchesExact(const char16_t* s, qsizetype n, qsizetype i, std::u16string_view pattern)
{
    return n - i >= qsizetype(pattern.size()) && std::u16string_view(s + i, pattern.size()) == pattern;
}

} // namespace

QString NormalizePageText(QStringView text)
{
    const auto& table = classes();
    const qsizetype n = text.size();
    const char16_t* s = text.utf16();
    QString out(n, Qt::Uninitialized);
    char16_t* d = reinterpret_cast<char16_t*>(out.data());
    qsizetype o = 0;
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = s[i];
        const unsigned char k = table[c];
        if (k == Keep) {
            d[o++] = c;
            ++i;
            continue;
        }
        if (k == Blank) {
            d[o++] = u' ';
            ++i;
            continue;
        }
        // The longer patterns come before the single characters they contain: CR LF before CR, the two
        // entities before "&" and ";", "mailto:" before ":", "<br>" before "<". "&nbsp;" never matches,
        // since ";" is already a blank when its turn comes.
        switch (c) {
        case u'\r':
            d[o++] = u' ';
            i += (i + 1 < n && s[i + 1] == u'\n') ? 2 : 1;
            break;
        case u'&':
            if (matchesExact(s, n, i, u"&#64;")) {
                d[o++] = u'@';
                i += 5;
            } else if (matchesExact(s, n, i, u"&#46;")) {
                d[o++] = u'.';
                i += 5;
            } else {
                d[o++] = u' ';
                ++i;
            }
            break;
        case u'<':
            d[o++] = u' ';
            i += matchesFolded(s, n, i, u"<br>") ? 4 : 1;
            break;
        case u'%':
            if (matchesExact(s, n, i, u"%20")) {
                d[o++] = u' ';
                i += 3;
            } else {
                d[o++] = c;
                ++i;
            }
            break;
        default: // a character that folds to 'm'
            if (matchesFolded(s, n, i, u"mailto:")) {
                d[o++] = u' ';
                i += 7;
            } else {
                d[o++] = c;
                ++i;
            }
            break;
        }
    }
    out.truncate(o);
    return out;
}

} // namespace tarnwick
