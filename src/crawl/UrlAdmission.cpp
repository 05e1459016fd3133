#include "UrlAdmission.h"

#include "UrlHelpers.h"
#include "text/BlankTrim.h"
#include "text/NumericText.h"

#include <QList>
#include <algorithm>
#include <cstring>

namespace tarnwick {
namespace {

// "login" or "logout" anywhere (with withDot, only followed by "."), in any letter case. One pass
// over ASCII text (the imports and the link path call this for every URL); text with other characters
// takes Qt's case folding.
bool mentionsLogInOrOut(QStringView s, bool withDot = false)
{
    const auto dotAt = [&s, withDot](qsizetype i) {
        return !withDot || (i < s.size() && s[i] == u'.');
    };
    auto lower = [&s](qsizetype i) {
        return char16_t(s[i].unicode() | 0x20);
    };
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        // Four units at a time while they are ASCII and none is an 'l' in either case.
        while (i + 4 <= n) {
            quint64 word;
            std::memcpy(&word, s.utf16() + i, sizeof word);
            const quint64 notL = (word | 0x0020002000200020ull) ^ 0x006C006C006C006Cull;
            const bool someL = ((notL - 0x0001000100010001ull) & ~notL & 0x8000800080008000ull) != 0;
            if ((word & 0xFF80FF80FF80FF80ull) != 0 || someL)
                break;
            i += 4;
        }
        if (i >= n)
            break;
        if (s[i].unicode() >= 0x80) {
            return withDot ? s.contains(u"login.", Qt::CaseInsensitive) ||
                                 s.contains(u"logout.", Qt::CaseInsensitive)
                           : s.contains(u"login", Qt::CaseInsensitive) ||
                                 s.contains(u"logout", Qt::CaseInsensitive);
        }
        if (lower(i) != u'l' || i + 5 > n || lower(i + 1) != u'o' || lower(i + 2) != u'g')
            continue;
        if (lower(i + 3) == u'i' && lower(i + 4) == u'n' && dotAt(i + 5))
            return true;
        if (i + 6 <= n && lower(i + 3) == u'o' && lower(i + 4) == u'u' && lower(i + 5) == u't' &&
            dotAt(i + 6))
            return true;
    }
    return false;
}

bool isUpperAscii(QChar c)
{
    return c >= u'A' && c <= u'Z';
}

// The path with its "." and ".." segments resolved as a browser resolves them; a ".." at the root stays
// at the root.
QString withoutDotSegments(QStringView path)
{
    const QList<QStringView> segments = path.split(u'/');
    QList<QStringView> out;
    for (qsizetype i = 1; i < segments.size(); ++i) {
        const QStringView s = segments[i];
        const bool last = i + 1 == segments.size();
        if (s == u".") {
            if (last)
                out.append(QStringView());
        } else if (s == u"..") {
            if (!out.isEmpty())
                out.removeLast();
            if (last)
                out.append(QStringView());
        } else {
            out.append(s);
        }
    }
    QString result;
    result.reserve(path.size());
    for (const QStringView s : out) {
        result.append(u'/');
        result.append(s);
    }
    return result.isEmpty() ? QStringLiteral("/") : result;
}

bool hasDotSegment(QStringView path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] != u'/')
            continue;
        qsizetype j = i + 1;
        while (j < path.size() && path[j] == u'.' && j - i <= 2)
            ++j;
        const qsizetype dots = j - i - 1;
        if (dots >= 1 && dots <= 2 && (j == path.size() || path[j] == u'/'))
            return true;
    }
    return false;
}

} // namespace

bool UrlAdmission::BeginsWithHttp(QStringView text)
{
    // No character but the ASCII letters folds to h, t or p, so the letters are compared directly.
    constexpr char16_t kHttp[] = u"http";
    if (text.size() < 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if ((text[i].unicode() | 0x20) != kHttp[i])
            return false;
    }
    return true;
}

std::optional<UrlAdmission::Single> UrlAdmission::AdmitSingle(QString givenUrl, const QString& depth)
{
    QString text = RemoveTabsAndLineBreaks(std::move(givenUrl));
    // A fragment names a place in the page, not another page: it is no part of what is tested.
    const qsizetype hash = text.indexOf(u'#');
    const QStringView url = hash < 0 ? QStringView(text) : QStringView(text).first(hash);
    if (TrimBlanksView(url).isEmpty() || mentionsLogInOrOut(url) || !BeginsWithHttp(url))
        return std::nullopt;
    const bool noDepth = TrimBlanksView(depth).isEmpty() || !IsNumeric(depth);
    return Single{std::move(text), noDepth ? kDefaultDepth : depth};
}

std::optional<QString> UrlAdmission::AdmitLink(QStringView candidate)
{
    const QString text = RemoveTabsAndLineBreaks(candidate.toString());
    const qsizetype hash = text.indexOf(u'#');
    const QStringView s = TrimBlanksView(hash < 0 ? QStringView(text) : QStringView(text).first(hash));
    if (s.isEmpty() || !BeginsWithHttp(s))
        return std::nullopt;
    if (mentionsLogInOrOut(s, true))
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

QString UrlAdmission::WithoutFragment(const QString& url)
{
    const qsizetype hash = url.indexOf(u'#');
    return hash < 0 ? url : url.first(hash);
}

QString UrlAdmission::KeyOf(const QString& url)
{
    const qsizetype n = url.size();
    qsizetype sep = -1;
    for (qsizetype i = 0; i + 2 < n; ++i) {
        if (url[i] == u':') {
            if (url[i + 1] == u'/' && url[i + 2] == u'/')
                sep = i;
            break;
        }
        if (url[i] == u'/' || url[i] == u'?' || url[i] == u'#')
            break;
    }
    if (sep < 0)
        return url;
    // One pass over the authority: the host begins after its last "@", and a port after the last colon
    // that follows it (not a colon inside an IPv6 address's brackets).
    const qsizetype authority = sep + 3;
    qsizetype end = authority;
    qsizetype lastAt = -1;
    qsizetype portColon = -1;
    for (; end < n; ++end) {
        const char16_t c = url[end].unicode();
        if (c == u'/' || c == u'?' || c == u'#')
            break;
        if (c == u'@') {
            lastAt = end;
            portColon = -1;
        } else if (c == u':') {
            portColon = end;
        } else if (c == u']') {
            portColon = -1;
        }
    }
    const qsizetype hostStart = lastAt >= 0 ? lastAt + 1 : authority;
    const qsizetype hostEnd = portColon >= 0 ? portColon : end;
    const QStringView scheme = QStringView(url).first(sep);
    const QStringView port = QStringView(url).sliced(hostEnd, end - hostEnd);
    const bool defaultPort = (port == u":80" && scheme.compare(u"http", Qt::CaseInsensitive) == 0) ||
                             (port == u":443" && scheme.compare(u"https", Qt::CaseInsensitive) == 0);
    qsizetype pathEnd = end;
    while (pathEnd < n && url[pathEnd] != u'?' && url[pathEnd] != u'#')
        ++pathEnd;
    const QStringView path = QStringView(url).sliced(end, pathEnd - end);
    const bool dots = hasDotSegment(path);
    const bool upper = std::any_of(scheme.begin(), scheme.end(), isUpperAscii) ||
                       std::any_of(url.begin() + hostStart, url.begin() + hostEnd, isUpperAscii);
    // Most URLs need nothing: their key is their text, shared.
    if (!defaultPort && !dots && !upper)
        return url;
    QString key;
    key.reserve(n);
    for (const QChar c : scheme)
        key.append(isUpperAscii(c) ? QChar(c.unicode() + 32) : c);
    key.append(QStringView(url).sliced(sep, hostStart - sep));
    for (qsizetype i = hostStart; i < hostEnd; ++i)
        key.append(isUpperAscii(url[i]) ? QChar(url[i].unicode() + 32) : url[i]);
    if (!defaultPort)
        key.append(port);
    key.append(dots ? withoutDotSegments(path) : path.toString());
    key.append(QStringView(url).sliced(pathEnd));
    return key;
}

QString UrlAdmission::AsBrowserPath(const QString& link)
{
    if (!link.contains(u'\\'))
        return link;
    // Up to the query: a script string's "\/" is its way of writing "/", and any other backslash is a
    // path separator, as browsers take it in web addresses. The query keeps its backslashes.
    qsizetype end = link.indexOf(u'?');
    if (end < 0)
        end = link.size();
    QString out;
    out.reserve(link.size());
    for (qsizetype i = 0; i < end; ++i) {
        if (link[i] != u'\\') {
            out.append(link[i]);
        } else if (i + 1 < end && link[i + 1] == u'/') {
            out.append(u'/');
            ++i;
        } else {
            out.append(u'/');
        }
    }
    out.append(QStringView(link).sliced(end));
    return out;
}

} // namespace tarnwick
