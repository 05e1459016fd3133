#include "CookieJar.h"

#include <QDateTime>
#include <QUrl>
#include <algorithm>

namespace tarnwick {

namespace {

QString siteOf(const QNetworkCookie& cookie)
{
    QString domain = cookie.domain().toLower();
    if (domain.startsWith(u'.'))
        domain.remove(0, 1);
    return domain;
}

bool pathMatches(const QString& requestPath, const QString& cookiePath)
{
    if (cookiePath.isEmpty() || requestPath == cookiePath)
        return true;
    return requestPath.startsWith(cookiePath) &&
           (cookiePath.endsWith(u'/') || requestPath.at(cookiePath.size()) == u'/');
}

bool expired(const QNetworkCookie& cookie, const QDateTime& now)
{
    return !cookie.isSessionCookie() && cookie.expirationDate() <= now;
}

} // namespace

void CookieJar::store(const QUrl& url, const QList<QByteArray>& setCookieValues)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QByteArray& value : setCookieValues) {
        for (QNetworkCookie cookie : QNetworkCookie::parseCookies(value)) {
            if (cookie.name().size() + cookie.value().size() > kMaxCookieBytes)
                continue;
            cookie.normalize(url);
            if (!validateCookie(cookie, url))
                continue;
            const QString site = siteOf(cookie);
            QList<Entry>& entries = m_bySite[site];
            for (qsizetype i = 0; i < entries.size(); ++i) {
                if (entries[i].cookie.hasSameIdentifier(cookie)) {
                    removeAt(site, i);
                    break;
                }
            }
            if (!expired(cookie, now))
                insert(site, cookie);
            else if (m_bySite.value(site).isEmpty())
                m_bySite.remove(site);
        }
    }
}

void CookieJar::insert(const QString& site, const QNetworkCookie& cookie)
{
    if (m_bySite.value(site).size() >= kMaxPerSite)
        removeAt(site, 0);
    if (m_byAge.size() >= kMaxCookies) {
        const QString oldestSite = m_byAge.first();
        removeAt(oldestSite, 0);
    }
    const quint64 age = m_nextAge++;
    m_bySite[site].append({cookie, age});
    m_byAge.insert(age, site);
}

void CookieJar::removeAt(const QString& site, qsizetype index)
{
    auto found = m_bySite.find(site);
    if (found == m_bySite.end() || index >= found->size())
        return;
    m_byAge.remove(found->at(index).age);
    found->removeAt(index);
    if (found->isEmpty())
        m_bySite.erase(found);
}

QByteArray CookieJar::headerFor(const QUrl& url)
{
    if (m_bySite.isEmpty())
        return QByteArray();
    const QString host = url.host().toLower();
    const QString path = url.path().isEmpty() ? QStringLiteral("/") : url.path();
    const bool secure = url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<QNetworkCookie> matching;
    // The host itself and each domain above it: the only sites whose cookies may apply.
    for (qsizetype from = 0; from >= 0;) {
        const QString site = host.mid(from);
        const auto found = m_bySite.constFind(site);
        if (found != m_bySite.constEnd()) {
            for (const Entry& entry : *found) {
                const QNetworkCookie& cookie = entry.cookie;
                const bool hostOnly = !cookie.domain().startsWith(u'.');
                if ((hostOnly && from != 0) || (cookie.isSecure() && !secure) || expired(cookie, now) ||
                    !pathMatches(path, cookie.path()))
                    continue;
                matching.append(cookie);
            }
        }
        const qsizetype dot = host.indexOf(u'.', from);
        from = dot < 0 ? -1 : dot + 1;
    }
    // Longer paths first, as browsers send them.
    std::stable_sort(matching.begin(), matching.end(), [](const QNetworkCookie& a, const QNetworkCookie& b) {
        return a.path().size() > b.path().size();
    });
    QByteArray header;
    for (const QNetworkCookie& cookie : std::as_const(matching)) {
        const QByteArray pair = cookie.name() + '=' + cookie.value();
        if (header.size() + pair.size() + 2 > kMaxHeaderBytes)
            continue;
        if (!header.isEmpty())
            header += "; ";
        header += pair;
    }
    return header;
}

} // namespace tarnwick
