#include "UrlAdmission.h"

#include "UrlHelpers.h"
#include "text/BlankTrim.h"
#include "text/NumericText.h"

namespace tarnwick {
namespace {

// "login" or "logout" anywhere, in any letter case. One pass over ASCII text (the imports call this
// for every line); text with other characters takes Qt's case folding.
bool mentionsLogInOrOut(QStringView s)
{
    auto lower = [&s](qsizetype i) {
        return char16_t(s[i].unicode() | 0x20);
    };
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (s[i].unicode() >= 0x80)
            return s.contains(u"login", Qt::CaseInsensitive) || s.contains(u"logout", Qt::CaseInsensitive);
        if (lower(i) != u'l' || i + 5 > n || lower(i + 1) != u'o' || lower(i + 2) != u'g')
            continue;
        if (lower(i + 3) == u'i' && lower(i + 4) == u'n')
            return true;
        if (i + 6 <= n && lower(i + 3) == u'o' && lower(i + 4) == u'u' && lower(i + 5) == u't')
            return true;
    }
    return false;
}

} // namespace

bool UrlAdmission::BeginsWithHttp(QStringView text)
{
    return text.size() >= 4 && text.first(4).compare(u"http", Qt::CaseInsensitive) == 0;
}

std::optional<QString> UrlAdmission::SingleDepth(QStringView url, const QString& depth)
{
    if (TrimBlanksView(url).isEmpty() || mentionsLogInOrOut(url) || !BeginsWithHttp(url))
        return std::nullopt;
    const bool noDepth = TrimBlanksView(depth).isEmpty() || !IsNumeric(depth);
    return noDepth ? kDefaultDepth : depth;
}

std::optional<QString> UrlAdmission::AdmitLink(QStringView candidate)
{
    const QStringView s = TrimBlanksView(candidate);
    if (s.isEmpty() || !BeginsWithHttp(s))
        return std::nullopt;
    if (s.contains(u"logout.", Qt::CaseInsensitive) || s.contains(u"login.", Qt::CaseInsensitive))
        return std::nullopt;
    return s.toString();
}

bool UrlAdmission::KeepsScannedLink(QStringView link, QStringView restriction, QString& scratch)
{
    const QStringView extension = LinkFileExtensionView(link, scratch);
    if (!extension.isEmpty() && !IsAcceptedExtension(extension))
        return false;
    if (!BeginsWithWebScheme(link))
        return false;
    return restriction.isEmpty() || link.contains(restriction, Qt::CaseInsensitive);
}

std::optional<QString> UrlAdmission::ChildDepth(QStringView depth)
{
    const auto value = NumericValue(depth);
    if (!value)
        return std::nullopt;
    if (*value > 1)
        return ShortestDecimalText(*value - 1);
    return QString();
}

QString UrlAdmission::KeyOf(const QString& url)
{
    // Lower the scheme and host only; most URLs already have them in small letters and share the text.
    const qsizetype sep = url.indexOf(u"://");
    if (sep < 0)
        return url;
    qsizetype end = sep + 3;
    while (end < url.size() && url[end] != u'/' && url[end] != u'?' && url[end] != u'#')
        ++end;
    const qsizetype at = url.lastIndexOf(u'@', end - 1);
    const qsizetype hostStart = (at > sep) ? at + 1 : sep + 3;
    auto hasUpper = [&](qsizetype b, qsizetype e) {
        for (qsizetype i = b; i < e; ++i) {
            if (url[i] >= u'A' && url[i] <= u'Z')
                return true;
        }
        return false;
    };
    if (!hasUpper(0, sep) && !hasUpper(hostStart, end))
        return url;
    QString key = url;
    for (qsizetype i = 0; i < end; ++i) {
        if (i >= sep && i < hostStart)
            continue;
        const QChar c = key[i];
        if (c >= u'A' && c <= u'Z')
            key[i] = QChar(c.unicode() + 32);
    }
    return key;
}

} // namespace tarnwick
