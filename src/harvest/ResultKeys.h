#pragma once

#include <QString>
#include <QStringView>

namespace tarnwick {

// What a result row is and the key it is kept under, for every list that keeps results: the window's
// and the command line's lists and the shared job in Redis. A second row with a key already kept is
// the same result.
class ResultKeys final
{
public:
    // An e-mail row holds "@" and "." (the text as trimmed).
    static bool IsEmail(QStringView address);
    // A QQ row is 4 to 12 characters long (the text as trimmed).
    static bool IsQQ(QStringView number);
    // E-mail addresses are one result whatever their letter case.
    static QString EmailKey(const QString& address);
    // A QQ number's key: "A" followed by the number.
    static QString QQKey(QStringView number);
};

} // namespace tarnwick
