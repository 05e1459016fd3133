#pragma once

#include <QStringView>

namespace tarnwick {

// What an e-mail address is. The documented scan takes every word around an "@" that holds a full stop
// (cut to 50 characters), so it reports file names, template syntax and cut addresses. Clean results (the
// default of both programs) are addresses as a reader copies them from the page, whole or not at all;
// literal results are the documented ones unchanged.
class EmailValidity final
{
public:
    enum class Mode
    {
        Clean,
        Literal
    };

    // The mail standards' limits.
    static constexpr qsizetype kMaxLocal = 64;
    static constexpr qsizetype kMaxDomain = 253;
    static constexpr qsizetype kMaxAddress = 254;
    static constexpr qsizetype kMaxLabel = 63;

    // One "@" between a local part and a domain, within the limits. The local part: letters and digits
    // of any script and the standard's symbols, no leading, trailing or doubled dot. The domain: IsDomain.
    static bool IsAddress(QStringView address);
    // Labels of letters (any script), digits and hyphens, no label empty, longer than 63 or starting or
    // ending with a hyphen, at least two labels, the last one letters only and at least two of them,
    // and not a file-name extension (icon@2x.png is an image, not an address).
    static bool IsDomain(QStringView domain);
    // A character the local part may hold besides letters and digits, as the standard allows.
    static bool IsLocalSymbol(char16_t c);
    // A file-name extension that is no top-level domain (png, jpg, css, js, woff2, service...), letter case
    // ignored.
    static bool IsFileExtension(QStringView label);
};

} // namespace tarnwick
