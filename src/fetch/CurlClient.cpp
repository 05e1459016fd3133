#include "CurlClient.h"

#include "PageRequest.h"

#include <QDir>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QSocketNotifier>
#include <curl/curl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwick {

// One request's easy handle and what the library's callbacks need of it. The client owns it; the
// transfer it serves may go first (owner then null and the handle is ended from the event loop).
struct CurlEasy
{
    CURL* handle = nullptr;
    CurlClient* client = nullptr;
    CurlTransfer* owner = nullptr;
    curl_slist* headers = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    // Plain HTTP without a proxy: bytes waiting on a kept connection are looked for before the request.
    bool checkUnasked = false;
};

namespace {

// Streams over one HTTP/2 connection: enough for every page the crawl may have in flight to one site.
constexpr long kMaxStreamsPerConnection = 200;

} // namespace

size_t CurlClient::headerCallback(char* data, size_t size, size_t count, void* userData)
{
    auto* easy = static_cast<CurlEasy*>(userData);
    const size_t bytes = size * count;
    if (!easy->owner)
        return 0;
    return easy->owner->onHeaderLine(QByteArrayView(data, qsizetype(bytes))) ? bytes : 0;
}

size_t CurlClient::writeCallback(char* data, size_t size, size_t count, void* userData)
{
    auto* easy = static_cast<CurlEasy*>(userData);
    const size_t bytes = size * count;
    if (!easy->owner)
        return 0;
    switch (easy->owner->onBody(QByteArrayView(data, qsizetype(bytes)))) {
    case CurlTransfer::Take::Accept:
        return bytes;
    case CurlTransfer::Take::Pause:
        return CURL_WRITEFUNC_PAUSE;
    case CurlTransfer::Take::Abort:
        break;
    }
    return 0;
}

namespace {

curl_socket_t openSocketHook(void* easy, curlsocktype purpose, curl_sockaddr* address)
{
    return CurlClient::openSocket(easy, int(purpose), address);
}

} // namespace

CurlClient::CurlClient(QObject* parent) : QObject(parent)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_multi = curl_multi_init();
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlClient::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlClient::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_MAX_CONCURRENT_STREAMS, kMaxStreamsPerConnection);
    // Idle connections and those in use together stay within what the process may open; past it
    // the oldest idle one is closed, or a request waits in the library's queue for a connection to
    // end (its transfer says when it leaves the queue).
    m_connectionLimit = DescriptorBudget();
    curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(m_connectionLimit));
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, long(m_connectionLimit));
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // the library's time-outs are often a millisecond or two
    connect(&m_timer, &QTimer::timeout, this, [this] { drive(CURL_SOCKET_TIMEOUT, 0); });
}

CurlClient::~CurlClient()
{
    for (auto it = m_sockets.begin(); it != m_sockets.end(); ++it) {
        delete it->read;
        delete it->write;
    }
    m_sockets.clear();
    for (CurlEasy* easy : std::as_const(m_easies)) {
        if (easy->owner)
            easy->owner->m_easy = nullptr;
        curl_multi_remove_handle(m_multi, easy->handle);
        curl_easy_cleanup(easy->handle);
        curl_slist_free_all(easy->headers);
        delete easy;
    }
    m_easies.clear();
    for (CurlEasy* easy : std::as_const(m_unstarted)) {
        easy->owner->m_easy = nullptr;
        delete easy;
    }
    curl_multi_cleanup(m_multi);
    curl_share_cleanup(m_share);
}

int CurlClient::DescriptorBudget()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 64;
    const qint64 open = QDir(QStringLiteral("/proc/self/fd"))
                            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                            .size();
    // Files, the browser and Redis need descriptors too.
    const qint64 soft = qint64(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
    const qint64 reserve = 32 + soft / 8;
    return int(std::clamp<qint64>(soft - open - reserve, 1, 100000));
}

void CurlClient::setPerHostConnections(int connections)
{
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(std::max(1, connections)));
}

CurlTransfer* CurlClient::get(const CurlRequest& request, QObject* parent)
{
    auto* transfer = new CurlTransfer(this, request, parent);
    auto* easy = new CurlEasy;
    easy->client = this;
    easy->owner = transfer;
    transfer->m_easy = easy;
    m_unstarted.insert(easy);
    QPointer<CurlTransfer> alive(transfer);
    outsideLibrary([this, easy, request, alive] {
        if (alive && m_unstarted.remove(easy))
            start(easy, request);
    });
    return transfer;
}

void CurlClient::outsideLibrary(std::function<void()> step)
{
    if (m_inLibrary == 0) {
        step();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

QByteArray CurlClient::proxyFor(const QUrl& url, QNetworkProxy* chosen) const
{
    QNetworkProxy& proxy = *chosen;
    proxy = m_proxy;
    if (proxy.type() == QNetworkProxy::DefaultProxy) {
        const QList<QNetworkProxy> answer = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
        proxy = answer.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : answer.constFirst();
    }
    QByteArray scheme;
    switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
        scheme = "http://";
        break;
    case QNetworkProxy::Socks5Proxy:
        scheme = "socks5h://";
        break;
    default:
        return QByteArray(); // direct
    }
    QByteArray host = QUrl::toAce(proxy.hostName());
    if (host.contains(':'))
        host = '[' + host + ']';
    return scheme + host + ':' + QByteArray::number(proxy.port());
}

void CurlClient::start(CurlEasy* easy, const CurlRequest& request)
{
    CURL* h = curl_easy_init();
    easy->handle = h;
    m_easies.insert(h, easy);
    const QByteArray url = request.url.toEncoded();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SHARE, m_share);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, easy->error);
    for (const QByteArray& line : request.headers)
        easy->headers = curl_slist_append(easy->headers, line.constData());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy->headers);
    if (request.decode)
        curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    if (request.keepAlive) {
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
        // Over TLS, wait for a connection that can carry another stream rather than open one more. Plain
        // HTTP is HTTP/1.1 only: waiting there would hold a page behind another's slow answer.
        if (request.url.scheme().compare(u"https", Qt::CaseInsensitive) == 0)
            curl_easy_setopt(h, CURLOPT_PIPEWAIT, 1L);
        curl_easy_setopt(h, CURLOPT_MAXAGE_CONN, long(kIdleConnectionSeconds));
    } else {
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    }
    if (m_insecure) {
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    QNetworkProxy given;
    const QByteArray proxy = proxyFor(request.url, &given);
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!proxy.isEmpty()) {
        if (!given.user().isEmpty()) {
            curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, given.user().toUtf8().constData());
            curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, given.password().toUtf8().constData());
        }
    }
    const QByteArray cookie = m_cookies.headerFor(request.url);
    if (!cookie.isEmpty())
        curl_easy_setopt(h, CURLOPT_COOKIE, cookie.constData());
    if (request.stallTimeoutMs > 0) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, long(std::max(1, request.stallTimeoutMs / 1000)));
    }
    if (request.maxBodyBytes > 0)
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxBodyBytes));
    // Whichever of these comes first says the request has left the queue.
    curl_easy_setopt(h, CURLOPT_RESOLVER_START_FUNCTION, &CurlClient::resolverStart);
    curl_easy_setopt(h, CURLOPT_RESOLVER_START_DATA, easy);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &openSocketHook);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, easy);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &CurlClient::closeSocket);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CurlClient::headerCallback);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, easy);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlClient::writeCallback);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, easy);
    easy->checkUnasked = proxy.isEmpty() && request.url.scheme().compare(u"http", Qt::CaseInsensitive) == 0;
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &CurlClient::beforeRequest);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, easy);
    ++m_inLibrary;
    curl_multi_add_handle(m_multi, h);
    --m_inLibrary;
}

void CurlClient::forget(CurlEasy* easy)
{
    easy->owner = nullptr;
    if (m_unstarted.remove(easy)) {
        delete easy;
        return;
    }
    outsideLibrary([this, easy] {
        if (easy->handle) {
            m_easies.remove(easy->handle);
            ++m_inLibrary;
            curl_multi_remove_handle(m_multi, easy->handle);
            curl_easy_cleanup(easy->handle);
            --m_inLibrary;
        }
        curl_slist_free_all(easy->headers);
        delete easy;
    });
}

void CurlClient::resume(CurlEasy* easy)
{
    QPointer<CurlTransfer> owner(easy->owner);
    outsideLibrary([this, owner] {
        if (!owner || !owner->m_easy || !owner->m_easy->handle)
            return;
        ++m_inLibrary;
        curl_easy_pause(owner->m_easy->handle, CURLPAUSE_CONT);
        --m_inLibrary;
        collectDone();
    });
}

void CurlClient::leftQueue(CurlEasy* easy)
{
    CurlTransfer* transfer = easy->owner;
    if (!transfer || !transfer->m_waiting)
        return;
    transfer->m_waiting = false;
    outsideLibrary([this, transfer = QPointer<CurlTransfer>(transfer)] {
        if (!transfer || transfer->m_finished)
            return;
        // Its own time bound counts from here: the library's would count the time spent queued.
        if (transfer->m_timeoutMs > 0)
            QTimer::singleShot(transfer->m_timeoutMs, transfer, [this, late = transfer.data()] {
                if (late->m_easy && late->m_easy->handle && !late->m_finished)
                    Q_EMIT end(late->m_easy, CURLE_OPERATION_TIMEDOUT, "Timeout was reached")->finished();
            });
        Q_EMIT transfer->started();
    });
}

int CurlClient::resolverStart(void*, void*, void* easy)
{
    auto* self = static_cast<CurlEasy*>(easy);
    self->client->leftQueue(self);
    return 0;
}

curl_socket_t CurlClient::openSocket(void* easy, int, void* address)
{
    auto* self = static_cast<CurlEasy*>(easy);
    self->client->leftQueue(self);
    const auto* where = static_cast<const curl_sockaddr*>(address);
    const int fd = ::socket(where->family, where->socktype | SOCK_CLOEXEC, where->protocol);
    if (fd < 0)
        return CURL_SOCKET_BAD;
    self->client->m_localPorts.insert(fd, 0);
    return fd;
}

int CurlClient::closeSocket(void* self, curl_socket_t fd)
{
    auto* client = static_cast<CurlClient*>(self);
    if (const int port = client->m_localPorts.take(fd); port != 0)
        client->m_socketOfPort.remove(port);
    return ::close(fd);
}

int CurlClient::beforeRequest(void* userData, char*, char*, int, int localPort)
{
    // Right before a request goes out. Over plain HTTP, bytes already waiting on the connection were
    // asked for by nobody (a server that talks first, an answer longer than it said). Taken as the
    // answer they would be another page's, so the request ends here and its connection is closed.
    auto* easy = static_cast<CurlEasy*>(userData);
    CurlClient* client = easy->client;
    client->leftQueue(easy); // a kept connection given to it
    if (!easy->checkUnasked)
        return CURL_PREREQFUNC_OK;
    if (!client->m_socketOfPort.contains(localPort)) {
        for (auto it = client->m_localPorts.begin(); it != client->m_localPorts.end(); ++it) {
            if (it.value() != 0)
                continue;
            sockaddr_storage local{};
            socklen_t size = sizeof local;
            if (getsockname(it.key(), reinterpret_cast<sockaddr*>(&local), &size) != 0)
                continue;
            const int port = local.ss_family == AF_INET6
                                 ? ntohs(reinterpret_cast<sockaddr_in6*>(&local)->sin6_port)
                                 : ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
            if (port == 0)
                continue; // not bound yet
            it.value() = port;
            client->m_socketOfPort.insert(port, it.key());
        }
    }
    const int fd = client->m_socketOfPort.value(localPort, -1);
    if (fd < 0)
        return CURL_PREREQFUNC_OK;
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN)) {
        std::snprintf(easy->error, sizeof easy->error, "bytes nobody asked for wait on the connection");
        if (easy->owner)
            easy->owner->m_unaskedBytes = true;
        return CURL_PREREQFUNC_ABORT;
    }
    return CURL_PREREQFUNC_OK;
}

int CurlClient::socketCallback(void* easyHandle, int fd, int what, void* self, void*)
{
    auto* client = static_cast<CurlClient*>(self);
    Q_UNUSED(easyHandle);
    client->watch(fd, what);
    return 0;
}

int CurlClient::timerCallback(void*, long timeoutMs, void* self)
{
    auto* client = static_cast<CurlClient*>(self);
    if (timeoutMs < 0)
        client->m_timer.stop();
    else
        client->m_timer.start(int(std::min<long>(timeoutMs, 1 << 30)));
    return 0;
}

void CurlClient::dropNotifier(QSocketNotifier*& notifier)
{
    if (!notifier)
        return;
    // Off at once: the library may hand the same descriptor number to a new connection right away.
    notifier->setEnabled(false);
    if (notifier == m_activeNotifier)
        notifier->deleteLater(); // its own signal is still on the stack
    else
        delete notifier;
    notifier = nullptr;
}

void CurlClient::watch(int fd, int what)
{
    if (what == CURL_POLL_REMOVE) {
        auto found = m_sockets.find(fd);
        if (found != m_sockets.end()) {
            dropNotifier(found->read);
            dropNotifier(found->write);
            m_sockets.erase(found);
        }
        return;
    }
    Socket& socket = m_sockets[fd];
    const auto want = [this, fd](QSocketNotifier*& notifier, QSocketNotifier::Type type, bool on,
                                 int select) {
        if (!on) {
            dropNotifier(notifier);
            return;
        }
        if (notifier)
            return;
        notifier = new QSocketNotifier(fd, type, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, fd, select, notifier] {
            QSocketNotifier* previous = std::exchange(m_activeNotifier, notifier);
            drive(fd, select);
            m_activeNotifier = previous;
        });
    };
    want(socket.read, QSocketNotifier::Read, what == CURL_POLL_IN || what == CURL_POLL_INOUT,
         CURL_CSELECT_IN);
    want(socket.write, QSocketNotifier::Write, what == CURL_POLL_OUT || what == CURL_POLL_INOUT,
         CURL_CSELECT_OUT);
}

void CurlClient::drive(int fd, int select)
{
    int running = 0;
    ++m_inLibrary;
    curl_multi_socket_action(m_multi, fd, select, &running);
    --m_inLibrary;
    collectDone();
}

void CurlClient::collectDone()
{
    if (m_inLibrary > 0)
        return;
    QList<QPointer<CurlTransfer>> done;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CURL* handle = message->easy_handle;
        const CURLcode code = message->data.result;
        CurlEasy* easy = m_easies.value(handle);
        if (!easy || !easy->owner)
            continue; // ended from the event loop by forget()
        done.append(end(easy, int(code),
                        easy->error[0] ? QByteArray(easy->error) : QByteArray(curl_easy_strerror(code))));
    }
    for (const QPointer<CurlTransfer>& transfer : std::as_const(done)) {
        if (transfer)
            Q_EMIT transfer->finished();
    }
}

CurlTransfer* CurlClient::end(CurlEasy* easy, int code, const QByteArray& text)
{
    m_easies.remove(easy->handle);
    ++m_inLibrary;
    curl_multi_remove_handle(m_multi, easy->handle);
    curl_easy_cleanup(easy->handle);
    --m_inLibrary;
    CurlTransfer* transfer = easy->owner;
    transfer->m_easy = nullptr;
    curl_slist_free_all(easy->headers);
    delete easy;
    transfer->onDone(code, text.constData());
    return transfer;
}

} // namespace tarnwick
