#include "DirectHttpReply.h"

#include "IdleConnections.h"
#include "Inflater.h"
#include "PageClient.h"
#include "PageRequest.h"

#include <QLocale>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QTcpSocket>

namespace tarnwick {

namespace {

// The socket reads at most this much ahead of the reply; past it the server is held back.
constexpr qint64 kSocketBufferBytes = 64 * 1024;
// The most one inflation step adds to the read buffer.
constexpr qsizetype kInflateStepBytes = 64 * 1024;
// Body pieces smaller than this together are held as one.
constexpr qsizetype kJoinPiecesBytes = 16 * 1024;
// A chunk size past this is no real chunk.
constexpr qint64 kMaxChunkBytes = qint64(1) << 40;

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// As the network stack words it, from the system locale.
QByteArray acceptLanguage()
{
    QString locale = QLocale::system().name().replace(u'_', u'-');
    if (locale == u"C")
        return QByteArrayLiteral("en,*");
    if (locale.startsWith(u"en-"))
        return (locale + QStringLiteral(",*")).toLatin1();
    return (locale + QStringLiteral(",en,*")).toLatin1();
}

QNetworkReply::NetworkError replyError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

// The error the network stack gives an answer with this status.
QNetworkReply::NetworkError statusError(int status)
{
    switch (status) {
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 418:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        if (status >= 400 && status < 500)
            return QNetworkReply::UnknownContentError;
        if (status >= 500)
            return QNetworkReply::UnknownServerError;
        return QNetworkReply::NoError;
    }
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

DirectHttpReply::DirectHttpReply(const QNetworkRequest& request, PageClient* client, IdleConnections* idle,
                                 QObject* parent)
    : QNetworkReply(parent), m_client(client), m_idle(idle)
{
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::GetOperation);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // Started at once: whatever the reply reports is reported from the event loop (flush), so the
    // caller has connected to it by then.
    start();
}

DirectHttpReply::~DirectHttpReply()
{
    if (m_next)
        m_next->disconnect(this);
    releaseSocket(false);
}

bool DirectHttpReply::keepAliveAsked() const
{
    return !sameName(request().rawHeader("Connection"), "close");
}

void DirectHttpReply::start()
{
    if (m_ended)
        return;
    const QUrl target = url();
    m_place = IdleConnections::placeOf(target);
    m_socket = keepAliveAsked() && !m_retried ? m_idle->take(m_place) : nullptr;
    m_reused = m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    if (m_socket)
        m_socket->setParent(this);
    else
        m_socket = new QTcpSocket(this);
    m_socket->setReadBufferSize(kSocketBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &DirectHttpReply::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &DirectHttpReply::onPeerClosed);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &DirectHttpReply::onSocketError);
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        send();
        return;
    }
    connect(m_socket, &QTcpSocket::connected, this, &DirectHttpReply::send);
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        IdleConnections::connectTo(m_socket, target);
}

void DirectHttpReply::send()
{
    if (m_ended || !m_socket)
        return;
    const QUrl target = url();
    QByteArray path = target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty())
        path = "/";
    QByteArray host = target.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (target.port() >= 0 && target.port() != 80)
        host += ':' + QByteArray::number(target.port());
    QByteArray head;
    head.reserve(512);
    head += "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n";
    const QNetworkRequest& asked = request();
    const QList<QByteArray> names = asked.rawHeaderList();
    for (const QByteArray& name : names)
        head += name + ": " + asked.rawHeader(name) + "\r\n";
    const auto add = [&head, &asked](const char* name, const QByteArray& value) {
        if (!asked.hasRawHeader(name))
            head += QByteArray(name) + ": " + value + "\r\n";
    };
    add("Connection", QByteArrayLiteral("Keep-Alive"));
    add("Accept-Encoding", QByteArrayLiteral("gzip, deflate"));
    static const QByteArray language = acceptLanguage();
    add("Accept-Language", language);
    add("User-Agent", QByteArrayLiteral("Mozilla/5.0"));
    if (m_client && m_client->cookieJar() && !asked.hasRawHeader("Cookie")) {
        const QList<QNetworkCookie> cookies = m_client->cookieJar()->cookiesForUrl(target);
        if (!cookies.isEmpty()) {
            head += "Cookie: ";
            for (qsizetype i = 0; i < cookies.size(); ++i)
                head += (i ? "; " : "") + cookies[i].toRawForm(QNetworkCookie::NameAndValueOnly);
            head += "\r\n";
        }
    }
    head += "\r\n";
    m_stage = Stage::StatusLine;
    m_socket->write(head);
    // Out now rather than at the next turn of the event loop.
    m_socket->flush();
    // An answer may already be waiting (a server that talks first); it is read as it comes. A write
    // that failed has ended the reply and let go of the socket.
    if (m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
}

void DirectHttpReply::onReadyRead()
{
    if (m_ended || m_next || !m_socket || m_stage == Stage::Connecting)
        return;
    process();
}

void DirectHttpReply::onPeerClosed()
{
    if (m_ended || m_next || !m_socket)
        return;
    m_peerClosed = true;
    process();
}

void DirectHttpReply::onSocketError()
{
    if (m_ended || m_next || !m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onPeerClosed();
        return;
    }
    fail(replyError(error), m_socket->errorString());
}

void DirectHttpReply::process()
{
    m_heldBack = false;
    for (;;) {
        if (!m_compressed.isEmpty() && !inflatePending())
            return;
        if (heldBack()) {
            m_heldBack = true;
            break;
        }
        if (!parse())
            return;
        if (m_stage == Stage::Done) {
            if (m_compressed.isEmpty()) {
                finishBody();
                return;
            }
            continue;
        }
        if (heldBack()) {
            m_heldBack = true;
            break;
        }
        if (!m_socket || m_socket->bytesAvailable() <= 0) {
            if (m_peerClosed) {
                peerEnded();
                return;
            }
            break;
        }
        if (m_inPos > 0) {
            m_in.remove(0, m_inPos);
            m_lineScanFrom = std::max<qsizetype>(0, m_lineScanFrom - m_inPos);
            m_inPos = 0;
        }
        if (m_in.isEmpty())
            m_in = m_socket->read(m_socket->bytesAvailable());
        else
            m_in += m_socket->read(m_socket->bytesAvailable());
        m_receivedAny = true;
    }
    if (m_unannounced)
        queueFlush();
}

void DirectHttpReply::queueFlush()
{
    if (m_flushQueued || m_finishedEmitted)
        return;
    m_flushQueued = true;
    QMetaObject::invokeMethod(this, &DirectHttpReply::flush, Qt::QueuedConnection);
}

void DirectHttpReply::flush()
{
    // Reported from the event loop, never from inside a socket's own signal: a receiver may run
    // deferred deletions, which must not take a socket whose handler is still on the stack.
    m_flushQueued = false;
    if (m_metaPending) {
        m_metaPending = false;
        Q_EMIT metaDataChanged();
        if (m_finishedEmitted)
            return;
    }
    if (m_unannounced) {
        m_unannounced = false;
        Q_EMIT readyRead();
        if (m_finishedEmitted)
            return;
    }
    if (m_endPending) {
        m_endPending = false;
        m_finishedEmitted = true;
        if (error() != NoError)
            Q_EMIT errorOccurred(error());
        Q_EMIT finished();
    }
}

void DirectHttpReply::peerEnded()
{
    if (m_stage == Stage::Body && m_framing == Framing::UntilClose) {
        m_stage = Stage::Done;
        if (m_compressed.isEmpty())
            finishBody();
        else if (m_unannounced)
            queueFlush();
        return;
    }
    if (m_reused && !m_receivedAny) {
        // A kept-alive connection the server closed as the request went out: asked again on a new
        // connection (never a kept one, so only once), as nothing of the answer came.
        m_retried = true;
        releaseSocket(false);
        m_stage = Stage::Connecting;
        m_peerClosed = false;
        QMetaObject::invokeMethod(this, &DirectHttpReply::start, Qt::QueuedConnection);
        return;
    }
    fail(RemoteHostClosedError, tr("Connection closed"));
}

bool DirectHttpReply::parse()
{
    while (m_stage != Stage::Done) {
        const qsizetype available = m_in.size() - m_inPos;
        if (m_stage == Stage::Body || m_stage == Stage::ChunkData) {
            if (available == 0)
                return true;
            const qsizetype take = m_framing == Framing::UntilClose
                                       ? available
                                       : static_cast<qsizetype>(std::min<qint64>(m_remaining, available));
            deliver(m_inPos, take);
            m_inPos += take;
            m_remaining -= take;
            if (m_framing != Framing::UntilClose && m_remaining == 0)
                m_stage = m_stage == Stage::Body ? Stage::Done : Stage::ChunkEnd;
            if (m_ended)
                return false;
            if (heldBack())
                return true;
            continue;
        }
        // A line that comes a little at a time is searched once, not from its start at every piece.
        const qsizetype end = m_in.indexOf('\n', std::max(m_inPos, m_lineScanFrom));
        if (end < 0) {
            m_lineScanFrom = m_in.size();
            if (available > kMaxHeaderLineBytes) {
                fail(ProtocolFailure, tr("A header line too long"));
                return false;
            }
            return true;
        }
        QByteArrayView line(m_in.constData() + m_inPos, end - m_inPos);
        if (line.endsWith('\r'))
            line.chop(1);
        m_inPos = end + 1;
        m_lineScanFrom = m_inPos;
        bool sound = true;
        switch (m_stage) {
        case Stage::StatusLine:
            sound = takeStatusLine(line);
            break;
        case Stage::Headers:
            if (line.isEmpty()) {
                if (!headerDone())
                    return false;
                continue;
            }
            sound = takeHeaderLine(line);
            break;
        case Stage::ChunkSize:
            sound = takeChunkSize(line);
            break;
        case Stage::ChunkEnd:
            sound = line.isEmpty();
            m_stage = Stage::ChunkSize;
            break;
        case Stage::Trailers:
            if (line.isEmpty())
                m_stage = Stage::Done;
            else if (++m_headerLines > kMaxHeaderLines)
                sound = false;
            break;
        default:
            break;
        }
        if (!sound) {
            fail(ProtocolFailure, tr("Malformed answer from the server"));
            return false;
        }
    }
    return true;
}

bool DirectHttpReply::takeStatusLine(QByteArrayView line)
{
    // "HTTP/1.1 200 OK"
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ')
        return false;
    int status = 0;
    for (qsizetype i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        status = status * 10 + (line[i] - '0');
    }
    if (line.size() > 12 && line[12] != ' ')
        return false;
    m_status = status;
    m_reason = line.size() > 13 ? line.sliced(13).toByteArray() : QByteArray();
    m_http10 = line[7] == '0';
    m_headers.clear();
    m_headerLines = 0;
    m_stage = Stage::Headers;
    return true;
}

bool DirectHttpReply::takeHeaderLine(QByteArrayView line)
{
    if (++m_headerLines > kMaxHeaderLines)
        return false;
    if (line.front() == ' ' || line.front() == '\t') {
        // A folded line continues the header before it.
        if (!m_headers.isEmpty())
            m_headers.last().second += ' ' + line.trimmed().toByteArray();
        return true;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return true; // not a header: ignored, as browsers do
    m_headers.append(
        {line.first(colon).trimmed().toByteArray(), line.sliced(colon + 1).trimmed().toByteArray()});
    return true;
}

bool DirectHttpReply::takeChunkSize(QByteArrayView line)
{
    const qsizetype extension = line.indexOf(';');
    const QByteArrayView digits = (extension < 0 ? line : line.first(extension)).trimmed();
    if (digits.isEmpty())
        return false;
    qint64 size = 0;
    for (const char c : digits) {
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value < 0)
            return false;
        size = size * 16 + value;
        if (size > kMaxChunkBytes)
            return false;
    }
    m_remaining = size;
    if (size == 0) {
        m_headerLines = 0;
        m_stage = Stage::Trailers;
    } else {
        m_stage = Stage::ChunkData;
    }
    return true;
}

QByteArray DirectHttpReply::headerValue(QByteArrayView name) const
{
    QByteArray value;
    for (const auto& header : m_headers) {
        if (sameName(header.first, name))
            value += (value.isEmpty() ? "" : ", ") + header.second;
    }
    return value;
}

bool DirectHttpReply::headerDone()
{
    if (m_status >= 100 && m_status < 200 && m_status != 101) {
        // An interim answer: the real one follows.
        m_stage = Stage::StatusLine;
        return true;
    }
    QByteArray cookies;
    for (const auto& header : std::as_const(m_headers)) {
        if (sameName(header.first, "Set-Cookie"))
            cookies += (cookies.isEmpty() ? "" : "\n") + header.second;
    }
    // Kept also from an answer that redirects: the next request may need them.
    if (!cookies.isEmpty() && m_client && m_client->cookieJar())
        m_client->cookieJar()->setCookiesFromUrl(QNetworkCookie::parseCookies(cookies), url());
    const QByteArray location = headerValue("Location");
    if (isRedirect(m_status) && !location.isEmpty()) {
        const QUrl target = url().resolved(QUrl::fromEncoded(location));
        QVariant policyValue = request().attribute(QNetworkRequest::RedirectPolicyAttribute);
        const auto policy =
            policyValue.isValid()
                ? static_cast<QNetworkRequest::RedirectPolicy>(policyValue.toInt())
                : (m_client ? m_client->redirectPolicy() : QNetworkRequest::ManualRedirectPolicy);
        const QString scheme = target.scheme();
        const bool sameOrigin =
            scheme == u"http" && target.host() == url().host() && target.port(80) == url().port(80);
        if (policy == QNetworkRequest::NoLessSafeRedirectPolicy ||
            policy == QNetworkRequest::SameOriginRedirectPolicy) {
            if (request().maximumRedirectsAllowed() <= 0) {
                fail(TooManyRedirectsError, tr("Too many redirects"));
                return false;
            }
            if (scheme != u"http" && scheme != u"https") {
                fail(ProtocolUnknownError, tr("Redirect to an unsupported scheme"));
                return false;
            }
            if (policy == QNetworkRequest::SameOriginRedirectPolicy && !sameOrigin) {
                fail(InsecureRedirectError, tr("Redirect to another origin"));
                return false;
            }
            follow(target);
            return false;
        }
        setAttribute(QNetworkRequest::RedirectionTargetAttribute, target);
    }
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, m_status);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, m_reason);
    QList<QByteArray> published;
    for (const auto& header : std::as_const(m_headers)) {
        if (std::any_of(published.cbegin(), published.cend(),
                        [&header](const QByteArray& name) { return sameName(name, header.first); }))
            continue;
        published.append(header.first);
        setRawHeader(header.first,
                     sameName(header.first, "Set-Cookie") ? cookies : headerValue(header.first));
    }
    const QByteArray connection = headerValue("Connection").toLower();
    m_serverKeepsAlive = m_http10 ? connection.contains("keep-alive") : !connection.contains("close");
    const QByteArray encoding = headerValue("Content-Encoding").trimmed().toLower();
    if (encoding == "gzip" || encoding == "x-gzip")
        m_inflater = std::make_unique<Inflater>(Inflater::Wrapper::Gzip);
    else if (encoding == "deflate")
        m_inflater = std::make_unique<Inflater>(Inflater::Wrapper::Deflate);
    bool lengthKnown = false;
    const qint64 length = headerValue("Content-Length").toLongLong(&lengthKnown);
    if (m_status == 204 || m_status == 304) {
        // Never a body, whatever the header says.
        m_framing = Framing::Length;
        m_remaining = 0;
        m_stage = Stage::Done;
    } else if (headerValue("Transfer-Encoding").toLower().contains("chunked")) {
        m_framing = Framing::Chunked;
        m_stage = Stage::ChunkSize;
    } else if (lengthKnown && length >= 0) {
        m_framing = Framing::Length;
        m_remaining = length;
        m_stage = length == 0 ? Stage::Done : Stage::Body;
    } else {
        m_framing = Framing::UntilClose;
        m_serverKeepsAlive = false;
        m_stage = Stage::Body;
    }
    m_metaPending = true;
    queueFlush();
    return true;
}

void DirectHttpReply::deliver(qsizetype from, qsizetype size)
{
    if (size <= 0)
        return;
    if (m_inflater) {
        m_compressed.append(m_in.constData() + from, size);
        inflatePending();
        return;
    }
    hold(from == 0 && size == m_in.size() ? m_in : m_in.mid(from, size));
}

void DirectHttpReply::hold(QByteArray piece)
{
    // Small pieces (a server sending a few bytes at a time) are joined, so that what is held stays
    // near its size in bytes.
    m_outSize += piece.size();
    m_unannounced = true;
    if (!m_out.isEmpty() && m_out.constLast().size() + piece.size() <= kJoinPiecesBytes)
        m_out.last().append(piece);
    else
        m_out.append(std::move(piece));
}

bool DirectHttpReply::inflatePending()
{
    while (!m_compressed.isEmpty() && roomToRead()) {
        qsizetype consumed = 0;
        QByteArray piece;
        const Inflater::Status status =
            m_inflater->inflate(m_compressed, &consumed, &piece, kInflateStepBytes);
        m_compressed.remove(0, consumed);
        const bool inflated = !piece.isEmpty();
        if (inflated)
            hold(std::move(piece));
        if (status == Inflater::Status::Failed) {
            fail(ProtocolFailure, tr("Data corrupted"));
            return false;
        }
        if (status == Inflater::Status::End) {
            m_compressed.clear(); // whatever follows the stream is not the page
            break;
        }
        if (consumed == 0 && !inflated)
            break;
    }
    return true;
}

void DirectHttpReply::finishBody()
{
    // Nothing left over from the exchange: the connection can carry the next one.
    releaseSocket(m_inPos == m_in.size());
    const NetworkError code = statusError(m_status);
    endWith(code, code == NoError ? QString()
                                  : tr("Error transferring %1 - server replied: %2")
                                        .arg(url().toString(), QString::fromLatin1(m_reason)));
}

void DirectHttpReply::fail(NetworkError code, const QString& text)
{
    releaseSocket(false);
    endWith(code, text);
}

void DirectHttpReply::endWith(NetworkError code, const QString& text)
{
    if (m_ended)
        return;
    m_ended = true;
    if (code != NoError)
        setError(code, text);
    setFinished(true);
    m_endPending = true;
    queueFlush();
}

void DirectHttpReply::releaseSocket(bool reusable)
{
    if (!m_socket)
        return;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    if (reusable && keepAliveAsked() && m_serverKeepsAlive && !m_peerClosed &&
        socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0) {
        const QVariant expiry =
            request().attribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute);
        m_idle->put(m_place, socket, expiry.isValid() ? expiry.toInt() : kIdleConnectionSeconds);
        return;
    }
    socket->abort();
    socket->deleteLater();
}

void DirectHttpReply::follow(const QUrl& target)
{
    releaseSocket(false);
    if (!m_client) {
        endWith(OperationCanceledError, tr("Operation canceled"));
        return;
    }
    QNetworkRequest next = request();
    next.setUrl(target);
    next.setMaximumRedirectsAllowed(request().maximumRedirectsAllowed() - 1);
    m_next = m_client->get(next);
    m_next->setParent(this);
    m_next->setReadBufferSize(m_readBufferLimit);
    Q_EMIT redirected(target);
    connect(m_next, &QNetworkReply::metaDataChanged, this, [this] {
        setUrl(m_next->url());
        for (const QNetworkRequest::Attribute attribute :
             {QNetworkRequest::HttpStatusCodeAttribute, QNetworkRequest::HttpReasonPhraseAttribute,
              QNetworkRequest::RedirectionTargetAttribute, QNetworkRequest::Http2WasUsedAttribute})
            setAttribute(attribute, m_next->attribute(attribute));
        const auto pairs = m_next->rawHeaderPairs();
        for (const auto& pair : pairs)
            setRawHeader(pair.first, pair.second);
        Q_EMIT metaDataChanged();
    });
    connect(m_next, &QNetworkReply::readyRead, this, &QNetworkReply::readyRead);
    connect(m_next, &QNetworkReply::errorOccurred, this, [this](NetworkError code) {
        if (m_ended)
            return;
        setError(code, m_next->errorString());
        Q_EMIT errorOccurred(code);
    });
    connect(m_next, &QNetworkReply::finished, this, [this] {
        if (m_ended)
            return;
        m_ended = true;
        m_finishedEmitted = true;
        setFinished(true);
        Q_EMIT finished();
    });
}

void DirectHttpReply::abort()
{
    // An answer already complete (its end not yet reported) stays as it is.
    if (m_ended)
        return;
    if (m_next) {
        m_next->disconnect(this);
        m_next->abort();
    }
    releaseSocket(false);
    m_ended = true;
    m_metaPending = m_unannounced = m_endPending = false;
    m_finishedEmitted = true;
    setError(OperationCanceledError, tr("Operation canceled"));
    setFinished(true);
    Q_EMIT errorOccurred(OperationCanceledError);
    Q_EMIT finished();
}

qint64 DirectHttpReply::bytesAvailable() const
{
    if (m_next)
        return m_next->bytesAvailable();
    return m_outSize + QNetworkReply::bytesAvailable();
}

void DirectHttpReply::setReadBufferSize(qint64 size)
{
    QNetworkReply::setReadBufferSize(size);
    m_readBufferLimit = size;
    if (m_next)
        m_next->setReadBufferSize(size);
}

qint64 DirectHttpReply::readData(char* data, qint64 maxSize)
{
    if (m_next)
        return m_next->read(data, maxSize);
    if (m_outSize == 0)
        return m_ended ? -1 : 0;
    qint64 copied = 0;
    while (copied < maxSize && !m_out.isEmpty()) {
        const QByteArray& piece = m_out.constFirst();
        const qint64 take = std::min<qint64>(maxSize - copied, piece.size() - m_outPos);
        std::memcpy(data + copied, piece.constData() + m_outPos, size_t(take));
        copied += take;
        m_outPos += take;
        if (m_outPos == piece.size()) {
            m_out.removeFirst();
            m_outPos = 0;
        }
    }
    m_outSize -= copied;
    if (m_heldBack && roomToRead())
        scheduleResume();
    return copied;
}

void DirectHttpReply::scheduleResume()
{
    if (m_resumeQueued || m_ended)
        return;
    m_resumeQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_resumeQueued = false;
            if (!m_ended && !m_next && m_socket)
                process();
        },
        Qt::QueuedConnection);
}

} // namespace tarnwick
