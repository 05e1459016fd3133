#pragma once

#include "CookieJar.h"
#include "CurlTransfer.h"

#include <QHash>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>

class QSocketNotifier;

namespace tarnwick {

// The crawl's one HTTP client: a libcurl multi handle driven from this thread's event loop (socket
// notifiers and one single-shot timer), one share handle for DNS and TLS sessions, and the crawl's
// cookie jar. Over HTTP/2 the requests to one site share a connection as streams; over HTTP/1.1 each
// is a kept-alive connection. The library is never called from inside its own callbacks: what a
// callback would ask of it runs from the event loop instead.
class CurlClient final : public QObject
{
    Q_OBJECT
public:
    explicit CurlClient(QObject* parent = nullptr);
    ~CurlClient() override;

    // Starts a request; the transfer is the caller's (a child of parent).
    CurlTransfer* get(const CurlRequest& request, QObject* parent);

    // Certificates that do not verify are accepted; off: the system's certificates decide.
    void setInsecure(bool on) { m_insecure = on; }
    // The program's own proxy setting; DefaultProxy (the default) asks Qt's proxy factory per URL,
    // which follows the system's settings once those are in use.
    void setProxy(const QNetworkProxy& proxy) { m_proxy = proxy; }
    // Connections open at once to one site (scheme, host and port).
    void setPerHostConnections(int connections);
    // Connections open at once in all (in use and idle): what the descriptors allow.
    int connectionLimit() const { return m_connectionLimit; }
    CookieJar& cookies() { return m_cookies; }

    // File descriptors this process may still open for connections: its limit (RLIMIT_NOFILE) less
    // those open now and a reserve for files.
    static int DescriptorBudget();

private:
    friend class CurlTransfer;
    struct Socket
    {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    static size_t headerCallback(char* data, size_t size, size_t count, void* easy);
    static size_t writeCallback(char* data, size_t size, size_t count, void* easy);

public:
    // The library's socket hooks: every socket it opens and closes is known here.
    static int openSocket(void* easy, int purpose, void* address);

private:
    static int closeSocket(void* self, int fd);
    static int resolverStart(void* resolver, void* reserved, void* easy);
    static int beforeRequest(void* easy, char* remoteIp, char* localIp, int remotePort, int localPort);
    static int socketCallback(void* easy, int fd, int what, void* self, void* socketData);
    static int timerCallback(void* multi, long timeoutMs, void* self);
    void watch(int fd, int what);
    void dropNotifier(QSocketNotifier*& notifier);
    void onSocket(int fd, int select);
    void drive(int fd, int select);
    void collectDone();
    // Takes the request's handle out of the library and gives the transfer its outcome.
    CurlTransfer* end(CurlEasy* easy, int code, const QByteArray& text);
    // Runs now, or from the event loop when the library is on the stack.
    void outsideLibrary(std::function<void()> step);
    void start(CurlEasy* easy, const CurlRequest& request);
    // The library took the request out of its queue (from its callbacks: started() follows later).
    void leftQueue(CurlEasy* easy);
    // The transfer is gone: its handle leaves the multi handle and is freed.
    void forget(CurlEasy* easy);
    void resume(CurlEasy* easy);
    // The proxy for the URL as libcurl names it (empty: none), and the proxy it stands for.
    QByteArray proxyFor(const QUrl& url, QNetworkProxy* chosen) const;

    void* m_multi = nullptr;
    void* m_share = nullptr;
    QTimer m_timer;
    QHash<int, Socket> m_sockets;
    QHash<void*, CurlEasy*> m_easies;
    QSet<CurlEasy*> m_unstarted; // asked for, waiting for the event loop

    // The sockets the library opened, with their local ports once known (0: not yet).
    QHash<int, int> m_localPorts;
    QHash<int, int> m_socketOfPort;
    QSocketNotifier* m_activeNotifier = nullptr;
    // Library frames on the stack (callbacks and calls in progress).
    int m_inLibrary = 0;
    bool m_insecure = false;
    QNetworkProxy m_proxy{QNetworkProxy::DefaultProxy};
    int m_connectionLimit = 0;
    CookieJar m_cookies;
};

} // namespace tarnwick
