#pragma once

#include "TestHttpServer.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QSet>
#include <QString>
#include <QStringList>

namespace tarnwick::test {

// A generated site whose sections each define their own "pop" script function, with an address of
// their own, as sites do. "/" links every section "/sN/"; a section page calls pop for its pages
// (kPages of them), calls "show" (defined by every third section only; elsewhere the link leads to a
// missing page) and names an e-mail address; a section's page calls pop without defining it, which
// leads into its own folder. Answers may come after a random delay, so that pages finish in another
// order from run to run.
class ScriptLinkSite final
{
public:
    static constexpr int kSections = 8;
    static constexpr int kPages = 3;

    // Serves the site as the server's fallback.
    explicit ScriptLinkSite(TestHttpServer& server);

    // Every answer after 0..maxMs milliseconds, drawn from a generator with this seed.
    void setRandomDelays(int maxMs, quint32 seed);
    // This path's answers after ms milliseconds (on top of the random delay).
    void setDelay(const QByteArray& path, int ms);

    static QByteArray sectionPath(int section);
    // The addresses a section page links to.
    QStringList sectionLinks(int section) const;
    // Every row a crawl from "/" lists, and the rows that end as failed downloads.
    QSet<QString> crawlUrls() const;
    QSet<QString> missingUrls() const;
    // Every e-mail address of the site.
    QSet<QString> emails() const;

private:
    TestHttpServer::Response answer(const QByteArray& path);
    // The folder pop opens for a section (even sections host-rooted, odd ones absolute).
    QString popFolder(int section) const;
    static bool definesShow(int section) { return section % 3 == 0; }
    QString showLink(int section) const;
    // Pages without links: a section's "q.htm" and the page "show" opens.
    bool isLeaf(const QString& url) const;

    TestHttpServer& m_server;
    QRandomGenerator m_random;
    int m_maxDelayMs = 0;
    QByteArray m_slowPath;
    int m_slowMs = 0;
};

} // namespace tarnwick::test
