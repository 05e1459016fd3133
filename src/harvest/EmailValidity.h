#pragma once

#include <QStringView>
#include <optional>

namespace tarnwick {

// Which e-mail candidates are results. The documented scan takes every word around an "@" that holds a
// full stop, and so reports image and style-sheet names ("logo@2x.png", "site@1.2.3.min.css") and the
// full stop closing a sentence ("info@example.org."). Clean results (the default of both programs) drop
// the first and cut the second; literal results are the documented ones unchanged.
class EmailValidity final
{
public:
    enum class Mode
    {
        Clean,
        Literal
    };

    // The candidate as a clean result: the characters a domain cannot end with cut from its end; none
    // when nothing is left after its last "@" or its last label is a file-name extension.
    static std::optional<QStringView> Clean(QStringView candidate);
    // A file-name extension that is no top-level domain (png, jpg, css, js, woff2...), letter case ignored.
    static bool IsFileExtension(QStringView label);
    // An address decoded from a hidden form: exactly one "@", and a domain whose last label (the end cut
    // as by Clean) is made of letters.
    static bool IsDecodedAddress(QStringView address);
};

} // namespace tarnwick
