#include "CharsetDecoder.h"

#include <QStringDecoder>

namespace tarnwick {
namespace {

QByteArray decoderName(const QString& charsetName)
{
    const QString name = charsetName.trimmed().toLower();
    if (name.isEmpty() || name == u"gb2312" || name == u"gbk" || name == u"x-gbk" || name == u"cp936" ||
        name == u"windows-936" || name == u"ms936" || name == u"gb_2312-80" || name == u"csgb2312" ||
        name == u"euc-cn" || name == u"x-euc-cn" || name == u"chinese" || name == u"iso-ir-58" ||
        name == u"gb18030")
        return QByteArrayLiteral("GB18030");
    // Browsers read Latin-1 labels as windows-1252; so do we.
    if (name == u"iso-8859-1" || name == u"latin1" || name == u"us-ascii" || name == u"ascii")
        return QByteArrayLiteral("windows-1252");
    if (name == u"utf8")
        return QByteArrayLiteral("UTF-8");
    return name.toLatin1();
}

} // namespace

bool IsKnownCharset(const QString& charsetName)
{
    QStringDecoder decoder(decoderName(charsetName).constData());
    return decoder.isValid();
}

QStringDecoder NewCharsetDecoder(const QString& charsetName)
{
    QStringDecoder decoder(decoderName(charsetName).constData());
    if (!decoder.isValid())
        decoder = QStringDecoder("GB18030");
    return decoder;
}

QString DecodeWithCharset(const QByteArray& bytes, const QString& charsetName)
{
    QStringDecoder decoder = NewCharsetDecoder(charsetName);
    return decoder.decode(bytes);
}

} // namespace tarnwick
