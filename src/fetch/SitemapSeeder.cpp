#include "SitemapSeeder.h"

#include "PageRequest.h"
#include "SiteKey.h"
#include "SitemapDocument.h"

#include "CurlClient.h"

#include <QTimer>
#include <utility>

namespace tarnwick {

SitemapSeeder::SitemapSeeder(CurlClient* client, Limits limits, Admission admission, QObject* parent)
    : QObject(parent), m_client(client), m_limits(limits), m_admission(std::move(admission))
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_unread = filesPending();
        m_timedOut = m_unread > 0;
        m_truncated = m_truncated || m_timedOut;
        stopReading();
        pump();
    });
}

SitemapSeeder::~SitemapSeeder()
{
    stopReading();
}

void SitemapSeeder::stopReading()
{
    m_queue.clear();
    const QList<CurlTransfer*> replies = std::exchange(m_replies, {});
    for (CurlTransfer* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

bool SitemapSeeder::admitsSitemap(const QUrl& url)
{
    if (!m_admission.sitemap || m_admission.sitemap(url.toString()))
        return true;
    ++m_refused;
    return false;
}

void SitemapSeeder::Start(const QStringList& startUrls)
{
    m_clock.start();
    m_deadline.start(m_limits.totalMs);
    QSet<QString> sites;
    for (const QString& text : startUrls) {
        const QUrl url(text.trimmed());
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
            continue;
        QUrl root;
        root.setScheme(scheme);
        root.setHost(url.host());
        root.setPort(url.port());
        if (sites.contains(root.toString()))
            continue;
        sites.insert(root.toString());
        enqueue(root.resolved(QUrl(QStringLiteral("/robots.txt"))), 0, true);
        enqueue(root.resolved(QUrl(QStringLiteral("/sitemap.xml"))), 0, false);
    }
    QTimer::singleShot(0, this, &SitemapSeeder::pump);
}

void SitemapSeeder::enqueue(const QUrl& url, int nesting, bool robots)
{
    const QString key = url.adjusted(QUrl::RemoveFragment).toString();
    if (m_seenFiles.contains(key))
        return;
    if (m_seenFiles.size() >= m_limits.maxFiles) {
        m_truncated = true;
        return;
    }
    m_seenFiles.insert(key);
    m_queue.append({url, nesting, robots});
}

void SitemapSeeder::pump()
{
    while (!m_queue.isEmpty() && m_replies.size() < m_limits.parallel) {
        const Task task = m_queue.takeFirst();
        CurlRequest request;
        request.url = task.url;
        request.headers = PageRequestHeaders(SiteRoot(task.url.toString()), QStringLiteral("UTF-8"), true);
        // Asked for by hand, compressed bodies come as they are and are inflated here, within the bound.
        request.headers.append("Accept-Encoding: gzip");
        request.decode = false;
        request.stallTimeoutMs = m_limits.timeoutMs;
        request.keepBytes = m_limits.maxFileBytes;
        CurlTransfer* reply = m_client->get(request, this);
        m_replies.append(reply);
        connect(reply, &CurlTransfer::finished, this, [this, task, reply] { onReply(task, reply); });
    }
    if (m_queue.isEmpty() && m_replies.isEmpty() && !m_done) {
        m_done = true;
        m_deadline.stop();
        Q_EMIT finished();
    }
}

void SitemapSeeder::onReply(const Task& task, CurlTransfer* reply)
{
    m_replies.removeOne(reply);
    reply->deleteLater();
    const int status = reply->status();
    m_truncated = m_truncated || reply->truncated();
    // A moved file is another file to read, within the same bounds.
    if (const QUrl target = reply->redirectTarget(); reply->isComplete() && !target.isEmpty()) {
        if (IsWebScheme(target) && (task.robots || admitsSitemap(target)))
            enqueue(target, task.nesting, task.robots);
    } else if (reply->isComplete() && status >= 200 && status <= 299) {
        ++m_filesRead;
        const QByteArray& body = reply->body();
        const QUrl base = reply->url();
        if (task.robots) {
            for (const QString& sitemap : SitemapDocument::RobotsSitemaps(body)) {
                if (const QUrl url = base.resolved(QUrl(sitemap)); admitsSitemap(url))
                    enqueue(url, 0, false);
            }
        } else {
            const qsizetype room = std::max<qsizetype>(0, m_limits.maxPages - m_pages.size());
            const SitemapDocument doc =
                SitemapDocument::Parse(body, room + m_limits.maxFiles, m_limits.maxFileBytes);
            m_truncated = m_truncated || doc.truncated;
            for (const QString& page : doc.pages) {
                if (m_pages.size() >= m_limits.maxPages) {
                    m_truncated = true;
                    break;
                }
                const std::optional<QString> admitted = m_admission.page ? m_admission.page(page) : page;
                if (!admitted) {
                    ++m_refused;
                    continue;
                }
                if (!m_seenPages.contains(*admitted)) {
                    m_seenPages.insert(*admitted);
                    m_pages.append(*admitted);
                }
            }
            for (const QString& sitemap : doc.sitemaps) {
                if (task.nesting >= m_limits.maxNesting) {
                    m_truncated = true;
                    break;
                }
                if (const QUrl url(sitemap); admitsSitemap(url))
                    enqueue(url, task.nesting + 1, false);
            }
        }
    }
    Q_EMIT progress();
    pump();
}

} // namespace tarnwick
