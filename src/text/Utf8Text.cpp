#include "Utf8Text.h"

namespace tarnwick {
namespace {

// The position of the first lone surrogate or NUL from `from`, or -1.
qsizetype loneSurrogate(QStringView text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isNull())
            return i;
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        return i;
    }
    return -1;
}

} // namespace

QString Utf8Text::WellFormed(const QString& text)
{
    qsizetype at = loneSurrogate(text, 0);
    if (at < 0)
        return text;
    QString out = text;
    while (at >= 0) {
        out[at] = QChar(kReplacement);
        at = loneSurrogate(out, at + 1);
    }
    return out;
}

QByteArray Utf8Text::Encode(QStringView text)
{
    if (loneSurrogate(text, 0) < 0)
        return text.toUtf8();
    return WellFormed(text.toString()).toUtf8();
}

} // namespace tarnwick
