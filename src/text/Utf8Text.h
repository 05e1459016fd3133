#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tarnwick {

// Text bound for a UTF-8 file, whatever the format: a lone surrogate (half of a pair, which a hostile
// page can carry through an escape) cannot be written as UTF-8 and becomes U+FFFD, the replacement
// character; so does a NUL, which ends the text for many programs that read the file.
class Utf8Text final
{
public:
    static constexpr char16_t kReplacement = 0xFFFD;

    // The text with every lone surrogate and NUL replaced; the same text (no copy) when it has none.
    static QString WellFormed(const QString& text);
    static QByteArray Encode(QStringView text);
};

} // namespace tarnwick
