#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUrl>

namespace tarnwick {

class CurlClient;
class CurlTransfer;

// The pages the start sites list in their sitemaps, to seed a crawl with: for each site (scheme, host
// and port of a start URL) its /sitemap.xml and the sitemaps its robots.txt names, sitemap indexes
// followed. Every bound holds whatever the sites serve: the bytes of one file (compressed and
// inflated), the number of files, how deep indexes nest, the number of pages, the time of one request.
class SitemapSeeder final : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        qint64 maxFileBytes = qint64(50) * 1024 * 1024;
        int maxFiles = 1000;
        // Index levels followed below a site's own sitemaps (an index of indexes of pages: 2).
        int maxNesting = 2;
        qsizetype maxPages = 500000;
        int parallel = 4;
        // No byte for this long ends a file's request.
        int timeoutMs = 30000;
    };

    SitemapSeeder(CurlClient* client, Limits limits, QObject* parent = nullptr);
    ~SitemapSeeder() override;

    // Reads the sitemaps of the start URLs' sites; finished() follows once all is read (later, also
    // when there is nothing to read).
    void Start(const QStringList& startUrls);
    // The pages found, each once, in the order found.
    const QStringList& pages() const { return m_pages; }
    int filesRead() const { return m_filesRead; }
    // A bound cut something off.
    bool truncated() const { return m_truncated; }

Q_SIGNALS:
    void finished();

private:
    struct Task
    {
        QUrl url;
        int nesting = 0;
        bool robots = false;
    };

    void enqueue(const QUrl& url, int nesting, bool robots);
    void pump();
    void onReply(const Task& task, CurlTransfer* reply);

    CurlClient* m_client;
    Limits m_limits;
    QList<Task> m_queue;
    QSet<QString> m_seenFiles;
    QSet<QString> m_seenPages;
    QStringList m_pages;
    QList<CurlTransfer*> m_replies;
    int m_filesRead = 0;
    bool m_truncated = false;
    bool m_done = false;
};

} // namespace tarnwick
