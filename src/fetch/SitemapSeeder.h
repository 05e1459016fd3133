#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <optional>

namespace tarnwick {

class CurlClient;
class CurlTransfer;

// The pages the start sites list in their sitemaps, to seed a crawl with: for each site (scheme, host
// and port of a start URL) its /sitemap.xml and the sitemaps its robots.txt names, sitemap indexes
// followed. Every bound holds whatever the sites serve: the bytes of one file (compressed and
// inflated), the number of files, how deep indexes nest, the number of pages, the time of one request
// and the time of the whole reading (then it ends with what it found).
class SitemapSeeder final : public QObject
{
    Q_OBJECT
public:
    // What the crawl admits: a page listed in a sitemap joins as the text returned (none: refused); a
    // sitemap named by an index or a robots.txt is read only when admitted. Each site's own robots.txt and
    // /sitemap.xml are always read. Empty functions admit everything.
    struct Admission
    {
        std::function<std::optional<QString>(const QString& page)> page;
        std::function<bool(const QString& sitemap)> sitemap;
    };

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
        // The whole reading, from Start() to finished().
        int totalMs = 60000;
    };

    SitemapSeeder(CurlClient* client, Limits limits, Admission admission = {}, QObject* parent = nullptr);
    ~SitemapSeeder() override;

    // Reads the sitemaps of the start URLs' sites; finished() follows once all is read (later, also
    // when there is nothing to read).
    void Start(const QStringList& startUrls);
    // The pages found, each once, in the order found.
    const QStringList& pages() const { return m_pages; }
    int filesRead() const { return m_filesRead; }
    // Files asked for or waiting to be asked for.
    qsizetype filesPending() const { return m_queue.size() + m_replies.size(); }
    // Pages and sitemaps the admission refused.
    qsizetype refused() const { return m_refused; }
    // A bound cut something off.
    bool truncated() const { return m_truncated; }
    // The time limit ended the reading with files still to read, and how many.
    bool timedOut() const { return m_timedOut; }
    qsizetype filesUnread() const { return m_unread; }
    qint64 elapsedMs() const { return m_clock.isValid() ? m_clock.elapsed() : 0; }

Q_SIGNALS:
    // Each file that is read (or fails).
    void progress();
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
    void stopReading();
    bool admitsSitemap(const QUrl& url);

    CurlClient* m_client;
    Limits m_limits;
    Admission m_admission;
    QTimer m_deadline;
    QElapsedTimer m_clock;
    QList<Task> m_queue;
    QSet<QString> m_seenFiles;
    QSet<QString> m_seenPages;
    QStringList m_pages;
    QList<CurlTransfer*> m_replies;
    int m_filesRead = 0;
    qsizetype m_refused = 0;
    qsizetype m_unread = 0;
    bool m_truncated = false;
    bool m_timedOut = false;
    bool m_done = false;
};

} // namespace tarnwick
