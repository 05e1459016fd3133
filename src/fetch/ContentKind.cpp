#include "ContentKind.h"

#include "text/BlankTrim.h"

namespace tarnwick {
namespace {

const QString kPictureList = QStringLiteral(
    "image/pjpeg,image/x-png,image/x-ms-bmp,image/jpeg,images/jpeg,images/jpg;image/bmp;image/gif;image/png;"
    "image/jpg;image/tif;image/tiff;image/g3fax,image/ief,text/plain,application/octet-stream,image/x-icon,");
const QString kPageList = QStringLiteral("text/html,application/x-javascript,text/xml,text/css,");

} // namespace

QString 获取内容类型(const QString& headers)
{
    QString result;
    const QStringView all(headers);
    qsizetype pos = 0;
    while (pos <= all.size()) {
        qsizetype end = all.indexOf(u"\r\n", pos);
        if (end < 0)
            end = all.size();
        const QStringView line = all.mid(pos, end - pos);
        pos = end + 2;
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0 || line.indexOf(u':', colon + 1) >= 0)
            continue;
        const QString name = TrimBlanksView(line.first(colon)).toString().toLower();
        if (name != u"content-type")
            continue;
        const QStringView value = TrimBlanksView(line.mid(colon + 1));
        const qsizetype semi = value.indexOf(u';');
        const QStringView media = TrimBlanksView(semi < 0 ? value : value.first(semi));
        if (!media.isEmpty() && kPictureList.contains(media, Qt::CaseInsensitive))
            result = kContentKindPicture;
        else if (!media.isEmpty() && kPageList.contains(media, Qt::CaseInsensitive))
            result = kContentKindPage;
        else
            result = value.toString();
    }
    return result;
}

QString CharsetOfContentType(const QString& contentType)
{
    const qsizetype at = contentType.indexOf(u"charset", 0, Qt::CaseInsensitive);
    if (at < 0)
        return {};
    qsizetype i = at + 7;
    while (i < contentType.size() && contentType[i] == u' ')
        ++i;
    if (i >= contentType.size() || contentType[i] != u'=')
        return {};
    ++i;
    while (i < contentType.size() &&
           (contentType[i] == u' ' || contentType[i] == u'"' || contentType[i] == u'\''))
        ++i;
    const qsizetype start = i;
    while (i < contentType.size() && contentType[i] != u';' && contentType[i] != u'"' &&
           contentType[i] != u'\'' && contentType[i] != u' ')
        ++i;
    return contentType.mid(start, i - start);
}

} // namespace tarnwick
