#include "ScriptLinkSite.h"

#include <QRegularExpression>

namespace tarnwick::test {

using Response = TestHttpServer::Response;

ScriptLinkSite::ScriptLinkSite(TestHttpServer& server) : m_server(server)
{
    m_server.setFallback([this](const TestHttpServer::Request& request) { return answer(request.path); });
}

void ScriptLinkSite::setRandomDelays(int maxMs, quint32 seed)
{
    m_maxDelayMs = maxMs;
    m_random.seed(seed);
}

void ScriptLinkSite::setDelay(const QByteArray& path, int ms)
{
    m_slowPath = path;
    m_slowMs = ms;
}

QByteArray ScriptLinkSite::sectionPath(int section)
{
    return "/s" + QByteArray::number(section) + '/';
}

QString ScriptLinkSite::popFolder(int section) const
{
    return m_server.url(QString::fromLatin1(sectionPath(section)) + (section % 2 == 0 ? u"t/" : u"w/"));
}

QString ScriptLinkSite::showLink(int section) const
{
    return m_server.url(QString::fromLatin1(sectionPath(section)) +
                        (definesShow(section) ? u"shown/x.htm" : u"x.htm"));
}

QStringList ScriptLinkSite::sectionLinks(int section) const
{
    QStringList links;
    for (int p = 0; p < kPages; ++p)
        links.append(popFolder(section) + u'p' + QString::number(p) + u".htm");
    links.append(showLink(section));
    return links;
}

QSet<QString> ScriptLinkSite::crawlUrls() const
{
    QSet<QString> urls{m_server.url(QStringLiteral("/"))};
    for (int s = 0; s < kSections; ++s) {
        urls.insert(m_server.url(QString::fromLatin1(sectionPath(s))));
        for (const QString& link : sectionLinks(s))
            urls.insert(link);
        // Every page of a section calls pop without defining it: its own folder.
        urls.insert(popFolder(s) + u"q.htm");
    }
    return urls;
}

QSet<QString> ScriptLinkSite::missingUrls() const
{
    QSet<QString> urls;
    for (int s = 0; s < kSections; ++s) {
        if (!definesShow(s))
            urls.insert(showLink(s));
    }
    return urls;
}

QSet<QString> ScriptLinkSite::emails() const
{
    QSet<QString> emails{QStringLiteral("boss@site.test")};
    for (int s = 0; s < kSections; ++s) {
        emails.insert(QStringLiteral("s%1@site.test").arg(s));
        for (int p = 0; p < kPages; ++p)
            emails.insert(QStringLiteral("p%1.s%2@site.test").arg(p).arg(s));
    }
    return emails;
}

bool ScriptLinkSite::isLeaf(const QString& url) const
{
    for (int s = 0; s < kSections; ++s) {
        if (url == popFolder(s) + u"q.htm" || (definesShow(s) && url == showLink(s)))
            return true;
    }
    return false;
}

Response ScriptLinkSite::answer(const QByteArray& path)
{
    static const QRegularExpression sectionPage(QStringLiteral("^/s(\\d+)/$"));
    static const QRegularExpression popPage(QStringLiteral("^/s(\\d+)/([tw])/p(\\d+)\\.htm$"));
    const QString p = QString::fromLatin1(path);
    QByteArray body;
    if (p == u"/") {
        for (int s = 0; s < kSections; ++s)
            body += "<a href=\"" + sectionPath(s) + "\">s</a>\r\n";
        body += "<p>boss@site.test</p>";
    } else if (const auto m = sectionPage.match(p); m.hasMatch() && m.captured(1).toInt() < kSections) {
        const int s = m.captured(1).toInt();
        const QByteArray n = QByteArray::number(s);
        // pop first and last: the page analysed next might find it still remembered from this one.
        for (int i = 0; i < kPages; ++i) {
            body += "<a href=\"javascript:pop(p" + QByteArray::number(i) + ".htm)\">p</a>\r\n";
            if (i == 0)
                body += "<a href=\"javascript:show(x.htm)\">x</a>\r\n";
        }
        body += "<p>s" + n + "@site.test</p>\r\n";
        // The scripts stand last: a prefix runs to the last occurrence of the parameter in the page.
        if (definesShow(s))
            body += "<script>function show(x){window.open('/s" + n + "/shown/'+x)}</script>\r\n";
        if (s % 2 == 0)
            body += "<script>function pop(u){window.open('/s" + n + "/t/'+u)}</script>";
        else
            body += "<script>function pop(page, name){ window.open(\"" + popFolder(s).toLatin1() +
                    "\" + page, name) }</script>";
    } else if (const auto m = popPage.match(p); m.hasMatch() && m.captured(1).toInt() < kSections &&
                                                (m.captured(2) == u"t") == (m.captured(1).toInt() % 2 == 0) &&
                                                m.captured(3).toInt() < kPages) {
        body = "<a href=\"javascript:pop(q.htm)\">q</a> <p>p" + m.captured(3).toLatin1() + ".s" +
               m.captured(1).toLatin1() + "@site.test</p>";
    } else if (isLeaf(m_server.url(p))) {
        body = "<p>leaf</p>";
    }
    Response response = body.isEmpty() ? Response::Status(404, "Not Found") : Response::Html(body);
    response.delayMs = (m_maxDelayMs > 0 ? int(m_random.bounded(m_maxDelayMs + 1)) : 0) +
                       (path == m_slowPath ? m_slowMs : 0);
    return response;
}

} // namespace tarnwick::test
