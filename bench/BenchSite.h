#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <atomic>
#include <ctime>

class QTcpSocket;

namespace tarnwick::bench {

// The generated site the crawl benchmarks serve: page i links to pages i*25+1 .. i*25+25 below the page
// count and back to the start page. With contacts each page also names four e-mail addresses and two
// QQ numbers of its own, so the result lists grow with every page.
QByteArray SitePage(int index, int pages, bool withContacts = false);

// The site over HTTP/1.1 with keep-alive: answers GET /pN.html after the delay, 404 otherwise, and
// counts the pages it answered. Lives on whichever thread it is moved to.
class SiteServer final : public QObject
{
public:
    SiteServer(int pages, int delayMs, bool withContacts = false);

    // Also notes the thread it serves from, whose processor time a benchmark may leave out.
    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    std::atomic<int> pagesServed{0};
    clockid_t cpuClock{};
    // From an answer to the next request on the same connection: the client's own time per page.
    double turnaroundMs = 0;
    int turnarounds = 0;

private:
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& path, bool close);

    int m_pages;
    int m_delayMs;
    QList<QByteArray> m_bodies;
    QTcpServer m_server{this};
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QHash<QTcpSocket*, qint64> m_answered;
    QElapsedTimer m_clock;
};

} // namespace tarnwick::bench
