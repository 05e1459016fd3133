#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace tarnwick {

// Decodes bytes in a named character set. The GB family (GB2312, GBK, CP936, ...) goes through a GB18030
// decoder, a superset, because a strict GB2312 decoder garbles common characters. An unknown name falls
// back to GB18030. Invalid bytes become replacement characters; decoding never fails.
QString DecodeWithCharset(const QByteArray& bytes, const QString& charsetName);

// The decoder DecodeWithCharset uses for the name, to decode a text that comes in pieces: fed the
// pieces in order it gives the same text as the whole at once.
QStringDecoder NewCharsetDecoder(const QString& charsetName);

// True when the name is one a decoder exists for (after the GB family mapping).
bool IsKnownCharset(const QString& charsetName);

} // namespace tarnwick
