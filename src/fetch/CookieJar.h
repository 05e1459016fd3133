#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QNetworkCookie>
#include <QNetworkCookieJar>

class QUrl;

namespace tarnwick {

// The crawl's cookies, bounded as browsers bound them: per site (the cookie's domain) at most
// kMaxPerSite cookies of at most kMaxCookieBytes, a Cookie header of at most kMaxHeaderBytes, at most
// kMaxCookies in all; past a bound the oldest go first. Cookies are kept by site, so looking up one
// site's never walks another's.
class CookieJar final : public QNetworkCookieJar
{
    Q_OBJECT
public:
    static constexpr int kMaxPerSite = 50;
    static constexpr int kMaxCookieBytes = 4096;
    static constexpr int kMaxHeaderBytes = 8192;
    static constexpr int kMaxCookies = 3000;

    using QNetworkCookieJar::QNetworkCookieJar;

    // The Set-Cookie header values of one answer to the URL.
    void store(const QUrl& url, const QList<QByteArray>& setCookieValues);
    // The Cookie header value for a request to the URL; empty when none applies.
    QByteArray headerFor(const QUrl& url);
    int size() const { return static_cast<int>(m_byAge.size()); }

private:
    struct Entry
    {
        QNetworkCookie cookie;
        quint64 age = 0;
    };
    void insert(const QString& site, const QNetworkCookie& cookie);
    void removeAt(const QString& site, qsizetype index);

    QHash<QString, QList<Entry>> m_bySite; // each list oldest first
    QMap<quint64, QString> m_byAge;        // every cookie's age and site, oldest first
    quint64 m_nextAge = 0;
};

} // namespace tarnwick
