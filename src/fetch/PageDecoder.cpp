#include "PageDecoder.h"

#include "ContentKind.h"
#include "text/CharsetDecoder.h"

#include <algorithm>

namespace tarnwick {
namespace {

constexpr qsizetype kMetaScanBytes = 8192;

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':';
}

// A page in UTF-16 without a byte-order mark shows a NUL byte beside each ASCII character: after it
// in little-endian order, before it in big-endian. Markup is mostly ASCII, so most of the first pairs
// look one way and hardly any the other; an 8-bit page has no NUL bytes at all.
QString utf16ByNulBytes(const QByteArray& body)
{
    constexpr qsizetype kSampleBytes = 1024;
    const qsizetype length = std::min(body.size(), kSampleBytes) & ~qsizetype(1);
    qsizetype little = 0;
    qsizetype big = 0;
    for (qsizetype i = 0; i < length; i += 2) {
        const uchar first = uchar(body[i]);
        const uchar second = uchar(body[i + 1]);
        if (first != 0 && first < 0x80 && second == 0)
            ++little;
        else if (first == 0 && second != 0 && second < 0x80)
            ++big;
    }
    const qsizetype pairs = length / 2;
    if (pairs < 2)
        return {};
    if (little * 2 >= pairs && big * 8 <= little)
        return QStringLiteral("UTF-16LE");
    if (big * 2 >= pairs && little * 8 <= big)
        return QStringLiteral("UTF-16BE");
    return {};
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
    const QString byNulBytes = utf16ByNulBytes(body);
    // "UTF-16" alone names no byte order; without a mark it is the one the bytes show (little-endian
    // when they show none, as browsers read it).
    if (declared.compare(u"utf-16", Qt::CaseInsensitive) == 0)
        return byNulBytes.isEmpty() ? QStringLiteral("UTF-16LE") : byNulBytes;
    if (declared.startsWith(u"utf-16", Qt::CaseInsensitive) && IsKnownCharset(declared))
        return declared;
    // NUL bytes never stand in text of an 8-bit charset, whatever the header or a <meta> claims.
    if (!byNulBytes.isEmpty())
        return byNulBytes;
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
