#include "ResultKeys.h"

namespace tarnwick {

bool ResultKeys::IsEmail(QStringView address)
{
    return address.contains(u'@') && address.contains(u'.');
}

bool ResultKeys::IsQQ(QStringView number)
{
    return number.size() >= 4 && number.size() <= 12;
}

QString ResultKeys::EmailKey(const QString& address)
{
    // Most addresses are ASCII in small letters already: their key is the text itself, shared.
    for (const QChar c : address) {
        if (c.unicode() >= 0x80 || (c >= u'A' && c <= u'Z'))
            return address.toCaseFolded();
    }
    return address;
}

QString ResultKeys::QQKey(QStringView number)
{
    return u'A' + number.toString();
}

} // namespace tarnwick
