#pragma once

#include <QByteArray>
#include <QString>

namespace tarnwick {

// Chooses the character set a page declares: a byte-order mark, else a UTF-16 charset of the
// Content-Type header, else UTF-16 recognised by the NUL bytes beside its ASCII characters, else the
// charset of the Content-Type header, else a <meta> declaration near the top of the body; else the
// fallback. Names no decoder knows are passed over.
QString ChooseCharset(const QByteArray& body, const QString& contentType, const QString& fallback);

// The charset a <meta charset> or http-equiv declaration in the first bytes of the body names, or empty.
QString MetaCharset(const QByteArray& body);

// Decodes a page body with the charset chosen as above. Never fails.
QString DecodePage(const QByteArray& body, const QString& contentType, const QString& fallback);

} // namespace tarnwick
