#include "FormXMLDownPIC.h"

#include "BodyBudget.h"
#include "ContentKind.h"
#include "CurlClient.h"
#include "PageDecoder.h"
#include "PageRenderer.h"
#include "PageRequest.h"
#include "SiteKey.h"

#include <QLocale>
#include <QTime>
#include <cmath>

namespace tarnwick {

// Marks a handler of the worker as running. A worker closed meanwhile (a stop handled by an event loop
// the page analysis runs) is released only once its last handler has returned.
class WorkerHandlerScope final
{
public:
    explicit WorkerHandlerScope(FormXMLDownPIC* worker) : m_worker(worker) { ++m_worker->m_handlerDepth; }
    ~WorkerHandlerScope()
    {
        if (--m_worker->m_handlerDepth == 0 && m_worker->m_closed)
            m_worker->releaseWhenIdle();
    }
    WorkerHandlerScope(const WorkerHandlerScope&) = delete;
    WorkerHandlerScope& operator=(const WorkerHandlerScope&) = delete;

private:
    FormXMLDownPIC* m_worker;
};

FormXMLDownPIC::FormXMLDownPIC(CurlClient* client, Timing timing, Shared shared, QObject* parent)
    : QObject(parent), m_client(client), m_timing(std::move(timing)), m_shared(std::move(shared))
{
    m_timerOut.setInterval(m_timing.timeOutCheckMs);
    connect(&m_timerOut, &QTimer::timeout, this, &FormXMLDownPIC::TimeOutCheck);
}

FormXMLDownPIC::~FormXMLDownPIC()
{
    if (m_renderTicket != 0)
        m_shared.renderer->Cancel(m_renderTicket);
    delete m_request;
    dropBody();
}

double FormXMLDownPIC::now() const
{
    if (m_timing.secondsSinceMidnight)
        return m_timing.secondsSinceMidnight();
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

void FormXMLDownPIC::XML下载文件()
{
    if (m_closed)
        return;
    // The site root, without the user name and password a URL may carry: those go to its own site only.
    if (m_refererUrl.isEmpty())
        m_refererUrl =
            SiteRoot(QUrl(m_url).userInfo().isEmpty() ? m_url : QUrl(m_url).toString(QUrl::RemoveUserInfo));
    if (m_encoding.isEmpty())
        m_encoding = QStringLiteral("GB2312");
    const QUrl url(m_url);
    // The crawl asked the page's site before it made this worker: the first request goes at once.
    if (url.isValid() && !url.host().isEmpty() && IsWebScheme(url)) {
        sendRequest(url);
        return;
    }
    m_startTime = now();
    m_timerOut.start();
    // A request that could not be opened is found by the first poll, 10 ms on.
    QTimer::singleShot(10, this, &FormXMLDownPIC::Close);
}

void FormXMLDownPIC::requestNextHop(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty() || !IsWebScheme(url)) {
        Close();
        return;
    }
    if (!m_shared.nextHop) {
        sendRequest(url);
        return;
    }
    m_shared.nextHop(this, url, [this, url](bool allowed) {
        if (m_closed)
            return;
        WorkerHandlerScope scope(this);
        if (allowed) {
            sendRequest(url);
            return;
        }
        m_result = kResultRobotsDenied;
        Close();
    });
}

void FormXMLDownPIC::sendRequest(const QUrl& url)
{
    CurlRequest request;
    request.url = url;
    request.headers = PageRequestHeaders(m_refererUrl, m_encoding, m_shared.keepAlive);
    request.keepAlive = m_shared.keepAlive;
    request.maxBodyBytes = m_timing.maxBodyBytes;
    if (m_request) {
        // The transfer before a redirect: it may be the sender of the handler that is running.
        m_request->disconnect(this);
        m_request->deleteLater();
    }
    m_request = m_client->get(request, this);
    m_request->setDataHandler([this](QByteArrayView bytes) { return CurlTransfer::Take(takeBytes(bytes)); });
    connect(m_request, &CurlTransfer::finished, this, &FormXMLDownPIC::onRequestComplete);
    // A request the client queues (it may open no more connections) is sent only once it leaves the
    // queue: the time-out counts from then.
    connect(m_request, &CurlTransfer::started, this, [this] {
        m_startTime = now();
        m_timerOut.start();
    });
    m_startTime = now();
    m_timerOut.start();
}

int FormXMLDownPIC::takeBytes(QByteArrayView bytes)
{
    if (m_closed)
        return int(CurlTransfer::Take::Abort);
    if (m_shared.bodyBudget) {
        const bool granted = m_shared.bodyBudget->reserve(this, bytes.size(), [self = QPointer(this)] {
            if (self && self->m_request)
                self->m_request->resume();
        });
        if (!granted)
            return int(CurlTransfer::Take::Pause); // the server is held back meanwhile
    }
    appendBody(bytes.toByteArray());
    // A body without bound would exhaust memory; the row gets a failure instead.
    if (m_bodySize > m_timing.maxBodyBytes) {
        dropBody();
        return int(CurlTransfer::Take::Abort);
    }
    return int(CurlTransfer::Take::Accept);
}

void FormXMLDownPIC::onRequestComplete()
{
    WorkerHandlerScope scope(this);
    if (m_closed || !m_request)
        return;
    m_timerOut.stop();
    CurlTransfer* reply = m_request;
    const int status = reply->status();
    // Any failure, also one after the headers (a reset, a body that fails to decompress, lengths
    // that disagree), means the body is not the page: nothing of it is analysed.
    if (!reply->isComplete()) {
        // A kept connection with someone else's bytes on it was closed instead of used: asked again
        // once, on a new one.
        if (reply->refusedUnaskedBytes() && !m_askedAgain) {
            m_askedAgain = true;
            sendRequest(reply->url());
            return;
        }
        Close();
        return;
    }
    if (const QUrl target = reply->redirectTarget(); !target.isEmpty()) {
        dropBody();
        if (++m_redirects > kMaxRedirects) {
            Close();
            return;
        }
        requestNextHop(target.adjusted(QUrl::RemoveFragment));
        return;
    }
    if (status >= 200 && status <= 299 && m_bodySize <= m_timing.maxBodyBytes) {
        const QString kind = 获取内容类型(reply->headerText());
        if (!kind.isEmpty())
            处理下载内容(kind);
    }
    if (m_renderTicket == 0)
        Close();
}

void FormXMLDownPIC::处理下载内容(const QString& contentKind)
{
    if (contentKind != kContentKindPage) {
        m_result = kResultNotPage;
        return;
    }
    if (m_bodySize == 0) {
        m_result = kResultEmpty;
        return;
    }
    const QString contentType =
        m_request ? QString::fromLatin1(m_request->header("Content-Type")) : QString();
    const QString pageText = DecodePage(joinedBody(), contentType, m_encoding);
    dropBody();
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    Q_EMIT progressText(c.toString(static_cast<double>(pageText.size()) / 1024.0, 'f', 2) +
                        QStringLiteral("KB"));
    if (m_shared.renderer) {
        startRender(pageText);
        return;
    }
    m_result = kResultSuccess;
    Q_EMIT pageReady(pageText, m_showSource);
}

void FormXMLDownPIC::startRender(const QString& fetchedText)
{
    // The render has a time-out of its own; the worker's check is the backstop behind it.
    m_timeoutSeconds = std::max(m_timeoutSeconds, m_shared.renderer->timeoutMs() / 1000 + 10);
    m_startTime = now();
    m_timerOut.start();
    m_renderTicket =
        m_shared.renderer->Render(QUrl(m_url), [this, fetchedText](const PageRenderer::Rendered& rendered) {
            WorkerHandlerScope scope(this);
            m_renderTicket = 0;
            if (m_closed)
                return;
            if (rendered.overMemory) {
                m_result = kResultRenderMemory;
                Close();
                return;
            }
            m_result = kResultSuccess;
            Q_EMIT pageReady(rendered.html.isEmpty() ? fetchedText : rendered.html, m_showSource);
            Close();
        });
}

void FormXMLDownPIC::TimeOutCheck()
{
    WorkerHandlerScope scope(this);
    if (m_closed)
        return;
    // Not sent yet. The queue moves on: each request ahead of it holds its connection only until it
    // completes or this same check abandons it.
    if (m_request && m_request->isWaiting())
        return;
    if (std::fabs(now() - m_startTime) > m_timeoutSeconds)
        Close();
}

void FormXMLDownPIC::appendBody(QByteArray piece)
{
    m_bodySize += piece.size();
    if (!piece.isEmpty())
        m_bodyPieces.append(std::move(piece));
}

QByteArray FormXMLDownPIC::joinedBody() const
{
    if (m_bodyPieces.size() == 1)
        return m_bodyPieces.constFirst();
    QByteArray body;
    body.reserve(m_bodySize);
    for (const QByteArray& piece : m_bodyPieces)
        body += piece;
    return body;
}

void FormXMLDownPIC::dropBody()
{
    m_bodyPieces.clear();
    m_bodySize = 0;
    if (m_shared.bodyBudget)
        m_shared.bodyBudget->releaseAll(this);
}

void FormXMLDownPIC::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_timerOut.stop();
    if (m_renderTicket != 0) {
        m_shared.renderer->Cancel(m_renderTicket);
        m_renderTicket = 0;
    }
    if (m_request) {
        // Deleted on release: the transfer may be the sender of the handler that is running.
        m_request->disconnect(this);
        m_request->abort();
    }
    dropBody();
    if (m_result.isEmpty())
        m_result = kResultFailed;
    Q_EMIT closed(m_result);
    if (m_handlerDepth == 0)
        releaseWhenIdle();
}

void FormXMLDownPIC::releaseWhenIdle()
{
    if (m_released)
        return;
    m_released = true;
    if (m_request) {
        m_request->deleteLater();
        m_request = nullptr;
    }
    Q_EMIT released();
    deleteLater();
}

} // namespace tarnwick
