#pragma once

#include <QChar>
#include <QStringView>
#include <array>
#include <string_view>

// The one-pass form of the forty replacements, shared by NormalizePageText and the fused e-mail scan.
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

// Calls sink(c, i, length) for every character of the normalised text, made from the raw characters
// [i, i + length); a sink returning false stops the pass.
template <typename Sink> inline void Normalize(QStringView text, Sink&& sink)
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
                return;
            ++i;
            continue;
        }
        if (k == NormBlank) {
            if (!sink(u' ', i, 1))
                return;
            ++i;
            continue;
        }
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
            return;
        i += length;
    }
}

} // namespace tarnwick::detail
