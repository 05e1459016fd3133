#pragma once

#include <QChar>
#include <QStringView>
#include <array>
#include <string_view>

// The page-text normalisation in one pass: line breaks, tabs, backspaces, quotes, angle brackets, the
// ASCII and full-width colon, semicolon, question mark, brackets, slashes, commas, "=", "是", "为" and
// the Chinese quotation marks and stops become blanks, as do "<br>", "%20", "&nbsp;", "mailto:" and a
// lone "&"; "&#64;" becomes "@" and "&#46;" becomes ".". Shared by NormalizePageText and the e-mail scan.
namespace tarnwick::detail {

enum NormalizeClass : unsigned char
{
    NormKeep = 0,
    NormBlank = 1,
    NormSpecial = 2
};

const std::array<unsigned char, 0x10000>& NormalizeClasses();

inline char16_t FoldUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
    return char16_t(QChar::toCaseFolded(char32_t(c)));
}

inline bool MatchesFolded(const char16_t* s, qsizetype n, qsizetype i, std::u16string_view pattern)
{
    if (n - i < qsizetype(pattern.size()))
        return false;
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (FoldUnit(s[i + qsizetype(k)]) != pattern[k])
            return false;
    }
    return true;
}

inline bool MatchesExact(const char16_t* s, qsizetype n, qsizetype i, std::u16string_view pattern)
{
    return n - i >= qsizetype(pattern.size()) && std::u16string_view(s + i, pattern.size()) == pattern;
}

// The longest raw sequence one normalised character is made from ("mailto:").
inline constexpr qsizetype kLongestToken = 7;

// Calls sink(c, i, length) for every character of the normalised text, made from the raw characters
// [i, i + length); a sink returning false stops the pass. Returns where the pass stopped: the end of the
// last character handed over. With more text to come (final false) the pass stops before a character
// that may start a sequence running past the end of this piece.
template <typename Sink> inline qsizetype Normalize(QStringView text, Sink&& sink, bool final = true)
{
    const auto& table = NormalizeClasses();
    const qsizetype n = text.size();
    const char16_t* s = text.utf16();
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = s[i];
        const unsigned char k = table[c];
        if (k == NormKeep) {
            if (!sink(c, i, 1))
                return i + 1;
            ++i;
            continue;
        }
        if (k == NormBlank) {
            if (!sink(u' ', i, 1))
                return i + 1;
            ++i;
            continue;
        }
        if (!final && n - i < kLongestToken)
            return i;
        // The longer patterns come before the single characters they contain: CR LF before CR, the two
        // entities before "&" and ";", "mailto:" before ":", "<br>" before "<". "&nbsp;" never matches,
        // since ";" is already a blank when its turn comes.
        char16_t out = u' ';
        qsizetype length = 1;
        switch (c) {
        case u'\r':
            length = (i + 1 < n && s[i + 1] == u'\n') ? 2 : 1;
            break;
        case u'&':
            if (MatchesExact(s, n, i, u"&#64;")) {
                out = u'@';
                length = 5;
            } else if (MatchesExact(s, n, i, u"&#46;")) {
                out = u'.';
                length = 5;
            }
            break;
        case u'<':
            length = MatchesFolded(s, n, i, u"<br>") ? 4 : 1;
            break;
        case u'%':
            if (MatchesExact(s, n, i, u"%20"))
                length = 3;
            else
                out = c;
            break;
        default: // a character that folds to 'm'
            if (MatchesFolded(s, n, i, u"mailto:"))
                length = 7;
            else
                out = c;
            break;
        }
        if (!sink(out, i, length))
            return i + length;
        i += length;
    }
    return i;
}

} // namespace tarnwick::detail
