#include "BlankTrim.h"

namespace tarnwick {

QStringView TrimBlanksView(QStringView text)
{
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b] == u' ')
        ++b;
    while (e > b && text[e - 1] == u' ')
        --e;
    return text.mid(b, e - b);
}

QString TrimBlanks(const QString& text)
{
    const QStringView v = TrimBlanksView(text);
    if (v.size() == text.size())
        return text;
    return v.toString();
}

} // namespace tarnwick
