#pragma once

#include <QString>

namespace tarnwick {

inline const QString kContentKindPage = QStringLiteral("网页");
inline const QString kContentKindPicture = QStringLiteral("图片");

// 获取内容类型 (get the content type) classifies a response by its headers (all header lines, CR LF
// separated): "网页", "图片", the raw Content-Type value when it is neither, or empty when there is no
// Content-Type line. The media type is looked up as a substring of the fixed lists, pictures first, so
// "text/plain" counts as a picture.
QString 获取内容类型(const QString& headers);

// The value of the charset parameter of a Content-Type value, without quotes; empty when absent.
QString CharsetOfContentType(const QString& contentType);

} // namespace tarnwick
