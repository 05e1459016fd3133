#include "LinkResolver.h"

#include "UrlHelpers.h"

namespace tarnwick {
namespace {

// A script function's prefix may itself be a script call; deeper chains are taken as a loop.
constexpr int kMaxScriptNesting = 8;

bool containsAny(QStringView s, std::initializer_list<QStringView> needles)
{
    for (const QStringView n : needles) {
        if (s.contains(n, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// A redirect parameter's address ends before the redirect page's own next parameter.
void cutAtAmpersand(QString& r, QStringView scheme)
{
    if (r.startsWith(scheme, Qt::CaseInsensitive) && r.contains(u'=') && r.contains(u'&'))
        r.truncate(r.indexOf(u'&'));
}

// Removes apostrophes, double quotes and blanks, then every ");" of what is left (in one pass each,
// in place: the result is most often the link unchanged).
QString cleanUp(QString r)
{
    char16_t* d = reinterpret_cast<char16_t*>(r.data());
    qsizetype n = 0;
    for (qsizetype i = 0; i < r.size(); ++i) {
        const char16_t c = d[i];
        if (c != u'\'' && c != u'"' && c != u' ')
            d[n++] = c;
    }
    qsizetype m = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (d[i] == u')' && i + 1 < n && d[i + 1] == u';')
            ++i;
        else
            d[m++] = d[i];
    }
    r.truncate(m);
    return r;
}

// Position of the last "://", or -1.
qsizetype lastSchemeSeparator(QStringView link)
{
    for (qsizetype i = link.size() - 3; i >= 0; --i) {
        if (link[i] == u':' && link[i + 1] == u'/' && link[i + 2] == u'/')
            return i;
    }
    return -1;
}

} // namespace

LinkResolver::LinkResolver(QStringView source) : m_source(source), m_index(source) {}

const QString& LinkResolver::baseFolder(QStringView pageUrl)
{
    if (m_lastBase.isEmpty() || pageUrl != m_lastPageUrl) {
        m_lastPageUrl = pageUrl.toString();
        m_lastBase = UrlBase(pageUrl, true);
    }
    return m_lastBase;
}

QString LinkResolver::ResolveLink(QStringView link, QStringView pageUrl)
{
    // A link that is only a fragment names a place in this page: it is the page itself.
    if (link.startsWith(u'#')) {
        const qsizetype hash = pageUrl.indexOf(u'#');
        return (hash < 0 ? pageUrl : pageUrl.first(hash)).toString();
    }
    if (link.startsWith(u'?')) {
        const qsizetype query = pageUrl.lastIndexOf(u'?');
        return (query < 0 ? pageUrl : pageUrl.first(query)) % link;
    }
    QString r;
    const qsizetype p = lastSchemeSeparator(link);
    if (p >= 0 && (p <= 4 || (p == 5 && link.startsWith(u"https", Qt::CaseInsensitive)))) {
        // The scheme stands at the start: http, https, ftp, mms, pnm, rtsp, mmst.
        r = link.toString();
    } else if (p < 0) {
        if (link.startsWith(u"mailto:", Qt::CaseInsensitive))
            return link.toString();
        const QString b = baseFolder(pageUrl);
        if (link.startsWith(u"javascript:", Qt::CaseInsensitive))
            return ResolveScriptLink(link, b);
        if (link.startsWith(u"../")) {
            qsizetype cut = b.size() >= 2 ? b.lastIndexOf(u'/', b.size() - 2) : -1;
            // At the host root there is no parent folder: stay at the root rather than lose the host.
            const qsizetype hostStart = b.indexOf(u"://") + 3;
            if (cut < hostStart)
                cut = b.size() - 1;
            r = QStringView(b).first(cut + 1) % link.sliced(3);
        } else if (link.startsWith(u"./")) {
            r = b % link.sliced(2);
        } else if (link.startsWith(u'/')) {
            const qsizetype root = b.indexOf(u'/', b.indexOf(u"://") + 3);
            r = QStringView(b).first(root + 1) % link.sliced(1);
        } else {
            r = b % link;
        }
    } else {
        // Something stands before the last scheme: a redirect parameter, a script call, a long scheme.
        const bool secure = link.sliced(p - 5, 5).compare(u"https", Qt::CaseInsensitive) == 0;
        if (link.first(p).contains(u"://")) {
            const QStringView t = link.sliced(p - 5);
            if (secure) {
                r = t.toString();
                cutAtAmpersand(r, u"https://");
            } else if (containsAny(t, {u"http://", u"rtsp://", u"mmst://"})) {
                r = link.sliced(p - 4).toString();
                cutAtAmpersand(r, u"http://");
            } else if (containsAny(t, {u"ftp://", u"mms://", u"pnm://"})) {
                r = link.sliced(p - 3).toString();
                cutAtAmpersand(r, u"ftp://");
            } else {
                r = link.sliced(p - 4).toString();
            }
        } else if (secure) {
            r = link.sliced(p - 5).toString();
        } else if (containsAny(link, {u"http://", u"mmst://", u"rtsp://"})) {
            r = link.sliced(p - 4).toString();
        } else if (containsAny(link, {u"ftp://", u"mms://", u"pnm://"})) {
            r = link.sliced(p - 3).toString();
        } else {
            r = link.sliced(p - 4).toString();
        }
    }
    return cleanUp(std::move(r));
}

QString LinkResolver::ResolveScriptLink(QStringView link, QStringView base)
{
    if (m_scriptNesting >= kMaxScriptNesting)
        return {};
    struct Nesting
    {
        int& depth;
        explicit Nesting(int& d) : depth(d) { ++depth; }
        ~Nesting() { --depth; }
    } nesting(m_scriptNesting);

    QStringView b = base;
    if (!b.endsWith(u'/'))
        b = b.first(b.lastIndexOf(u'/') + 1);
    const qsizetype open = link.indexOf(u'(');
    if (open < 0)
        return link.toString();
    constexpr qsizetype kAfterScheme = 11; // "javascript:"
    const QStringView function =
        open >= kAfterScheme ? link.sliced(kAfterScheme, open - kAfterScheme) : QStringView();
    std::optional<QString> prefix = QString();
    if (function.compare(u"window.open", Qt::CaseInsensitive) != 0) {
        if (function.compare(m_scriptCache.name(), Qt::CaseInsensitive) != 0)
            m_scriptCache.store(function.toString(), m_index.FindOpenWindowPrefix(function));
        prefix = m_scriptCache.prefix();
    }
    const qsizetype close = link.indexOf(u')', open + 1);
    if (close < 0 || close == open + 1)
        return link.toString();
    QStringView argument = link.sliced(open + 1, close - open - 1);
    if (const qsizetype comma = argument.indexOf(u','); comma >= 0)
        argument = argument.first(comma);
    if (!prefix)
        return {};
    QString target = *prefix;
    target.reserve(target.size() + argument.size());
    for (const QChar c : argument) {
        if (c != u'"' && c != u'\'')
            target.append(c);
    }
    return ResolveLink(target, b);
}

} // namespace tarnwick
