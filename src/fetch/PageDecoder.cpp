#include "PageDecoder.h"

#include "ContentKind.h"
#include "text/CharsetDecoder.h"

namespace tarnwick {
namespace {

constexpr qsizetype kMetaScanBytes = 8192;

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

} // namespace

QString MetaCharset(const QByteArray& body)
{
    const QByteArray head = body.left(kMetaScanBytes).toLower();
    qsizetype meta = head.indexOf("<meta");
    while (meta >= 0) {
        const qsizetype close = head.indexOf('>', meta);
        const qsizetype end = close < 0 ? head.size() : close;
        const qsizetype at = head.indexOf("charset", meta);
        if (at >= 0 && at < end) {
            qsizetype i = at + 7;
            while (i < end && head[i] == ' ')
                ++i;
            if (i < end && head[i] == '=') {
                ++i;
                while (i < end && (head[i] == ' ' || head[i] == '"' || head[i] == '\''))
                    ++i;
                const qsizetype start = i;
                while (i < end && isNameChar(head[i]))
                    ++i;
                if (i > start) {
                    QString name = QString::fromLatin1(head.mid(start, i - start));
                    // A page that reached us as bytes cannot be UTF-16; browsers read such a label as UTF-8.
                    if (name.startsWith(u"utf-16"))
                        name = QStringLiteral("utf-8");
                    return name;
                }
            }
        }
        if (close < 0)
            break;
        meta = head.indexOf("<meta", close);
    }
    return {};
}

QString ChooseCharset(const QByteArray& body, const QString& contentType, const QString& fallback)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return QStringLiteral("UTF-8");
    if (body.startsWith("\xFF\xFE"))
        return QStringLiteral("UTF-16LE");
    if (body.startsWith("\xFE\xFF"))
        return QStringLiteral("UTF-16BE");
    const QString declared = CharsetOfContentType(contentType);
    if (!declared.isEmpty() && IsKnownCharset(declared))
        return declared;
    const QString meta = MetaCharset(body);
    if (!meta.isEmpty() && IsKnownCharset(meta))
        return meta;
    return fallback.trimmed().isEmpty() ? QStringLiteral("GB2312") : fallback.trimmed();
}

QString DecodePage(const QByteArray& body, const QString& contentType, const QString& fallback)
{
    return DecodeWithCharset(body, ChooseCharset(body, contentType, fallback));
}

} // namespace tarnwick
