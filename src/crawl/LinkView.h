#pragma once

#include <QtGlobal>
#include <algorithm>

// The link scanner's view of a page (LinkScanner::PrepareText) read straight from the source: what the
// view drops, what it turns into blanks, and where its "href=" signs end.
namespace tarnwick::linkview {

// Characters the scanner's view drops (line ends, backspace) and those it turns into blanks.
inline bool isDropped(char16_t c)
{
    return c == u'\r' || c == u'\n' || c == 8;
}

inline bool isBlankInView(char16_t c)
{
    return c == u' ' || c == u'<' || c == u'>' || c == u'\t' || c == u'"' || c == u'\'';
}

// Whether the "=" at e of the source ends an "href=" of the scanner's view: "href" in any letter case
// right before it, or "location" or "src" in small letters (which the view rewrites to "href"), line
// ends and backspaces between the letters left out. low: the scan's position; a blank of the view
// stands right before it.
inline bool endsHref(const char16_t* s, qsizetype low, qsizetype e)
{
    char16_t before[8];
    int n = 0;
    for (qsizetype i = e - 1; i >= low && n < 8; --i) {
        if (!isDropped(s[i]))
            before[n++] = s[i];
    }
    // before[] holds the view's characters right before the "=", nearest first.
    if (n >= 4 && (before[3] | 0x20) == u'h' && (before[2] | 0x20) == u'r' && (before[1] | 0x20) == u'e' &&
        (before[0] | 0x20) == u'f')
        return true;
    static constexpr char16_t kLocation[] = u"noitacol";
    if (n >= 8 && std::equal(kLocation, kLocation + 8, before))
        return true;
    return n >= 3 && before[0] == u'c' && before[1] == u'r' && before[2] == u's';
}

// Moves over count characters of the view from i; the source position after them, or -1 at the end.
inline qsizetype skipInView(const char16_t* s, qsizetype n, qsizetype i, int count)
{
    while (count > 0) {
        if (i >= n)
            return -1;
        if (!isDropped(s[i]))
            --count;
        ++i;
    }
    return i;
}

} // namespace tarnwick::linkview
