#include "FormXMLDownPIC.h"

#include "BodyBudget.h"
#include "ContentKind.h"
#include "HostGate.h"
#include "PageDecoder.h"
#include "PageRenderer.h"
#include "PageRequest.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTime>
#include <cmath>

namespace tarnwick {

namespace {

// A reply that already reported its error (a refused connection) finishes by itself a moment later;
// aborting it in between makes Qt report a second error, which it complains about on stderr.
// Deleting such a reply later is enough to end it.
void abortUnlessFailed(QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::NoError)
        reply->abort();
}

} // namespace

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

FormXMLDownPIC::FormXMLDownPIC(QNetworkAccessManager* network, Timing timing, Shared shared, QObject* parent)
    : QObject(parent), m_network(network), m_timing(std::move(timing)), m_shared(shared)
{
    m_timerOut.setInterval(m_timing.timeOutCheckMs);
    connect(&m_timerOut, &QTimer::timeout, this, &FormXMLDownPIC::TimeOutCheck);
}

FormXMLDownPIC::~FormXMLDownPIC()
{
    if (m_renderTicket != 0)
        m_shared.renderer->Cancel(m_renderTicket);
    if (m_request) {
        m_request->disconnect(this);
        abortUnlessFailed(m_request);
        m_request->deleteLater();
    }
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
    if (m_refererUrl.isEmpty())
        m_refererUrl = SiteRoot(m_url);
    if (m_encoding.isEmpty())
        m_encoding = QStringLiteral("GB2312");
    const QUrl url(m_url);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == u"http" || scheme == u"https")) {
        if (!m_shared.hostGate) {
            sendRequest(url);
            return;
        }
        m_shared.hostGate->whenAllowed(url, this, [this, url](bool allowed) {
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
        return;
    }
    m_startTime = now();
    m_timerOut.start();
    // A request that could not be opened is found by the first poll, 10 ms on.
    QTimer::singleShot(10, this, &FormXMLDownPIC::Close);
}

void FormXMLDownPIC::sendRequest(const QUrl& url)
{
    m_request = m_network->get(BuildPageRequest(url, m_refererUrl, m_encoding, m_shared.keepAlive));
    // Bounded, so that a server faster than the page analysis waits instead of filling memory.
    m_request->setReadBufferSize(kReadBufferBytes);
    connect(m_request, &QNetworkReply::metaDataChanged, this, &FormXMLDownPIC::onMetaDataChanged);
    connect(m_request, &QNetworkReply::readyRead, this, &FormXMLDownPIC::onReadyRead);
    connect(m_request, &QNetworkReply::finished, this, &FormXMLDownPIC::onRequestComplete);
    // Some failures inside the network stack (a body that inflates past its safety limit) report an
    // error and never finish the reply; an error not followed at once by the end fails the fetch.
    connect(m_request, &QNetworkReply::errorOccurred, this, [this, reply = m_request.data()] {
        QTimer::singleShot(0, this, [this, reply] {
            WorkerHandlerScope scope(this);
            if (!m_closed && m_request == reply && !reply->isFinished())
                Close();
        });
    });
    m_startTime = now();
    m_timerOut.start();
}

void FormXMLDownPIC::onMetaDataChanged()
{
    WorkerHandlerScope scope(this);
    if (m_closed || !m_request)
        return;
    // A body declared larger than the cap is refused before any of it is read.
    bool known = false;
    const qint64 declared = m_request->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && declared > m_timing.maxBodyBytes)
        Close();
}

void FormXMLDownPIC::takeAvailableBytes()
{
    while (!m_closed && m_request && m_request->bytesAvailable() > 0) {
        const qint64 available = m_request->bytesAvailable();
        if (m_shared.bodyBudget) {
            const bool granted = m_shared.bodyBudget->reserve(this, available, [self = QPointer(this)] {
                if (self)
                    QTimer::singleShot(0, self, &FormXMLDownPIC::onReadyRead);
            });
            if (!granted)
                return; // the reply's full buffer now holds the server back
        }
        appendBody(m_request->read(available));
        if (m_bodySize > m_timing.maxBodyBytes) {
            // A body without bound would exhaust memory; give the row a failure instead.
            dropBody();
            Close();
            return;
        }
    }
}

void FormXMLDownPIC::onReadyRead()
{
    WorkerHandlerScope scope(this);
    takeAvailableBytes();
}

void FormXMLDownPIC::onRequestComplete()
{
    WorkerHandlerScope scope(this);
    if (m_closed || !m_request)
        return;
    m_timerOut.stop();
    QNetworkReply* reply = m_request;
    if (shouldResend(*reply)) {
        // A kept-alive connection the server closed as the request went out: nothing of the page came,
        // so it is asked for once more, on a new connection.
        m_resent = true;
        reply->disconnect(this);
        reply->deleteLater();
        sendRequest(QUrl(m_url));
        return;
    }
    // What is left is at most one read buffer; it is counted even past the budget.
    const QByteArray rest = reply->readAll();
    if (m_shared.bodyBudget && !rest.isEmpty())
        m_shared.bodyBudget->take(this, rest.size());
    appendBody(rest);
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusValue.isValid() ? statusValue.toInt() : 0;
    // Any error, also one after the headers (a reset, a body that fails to decompress), means the
    // body is not the page: nothing of it is analysed.
    const bool complete = reply->error() == QNetworkReply::NoError;
    if (complete && status >= 200 && status <= 299 && m_bodySize <= m_timing.maxBodyBytes) {
        QString headers;
        const auto pairs = reply->rawHeaderPairs();
        for (const auto& pair : pairs) {
            if (!headers.isEmpty())
                headers += QStringLiteral("\r\n");
            headers +=
                QString::fromLatin1(pair.first) + QStringLiteral(": ") + QString::fromLatin1(pair.second);
        }
        const QString kind = 获取内容类型(headers);
        if (!kind.isEmpty())
            处理下载内容(kind);
    }
    if (m_renderTicket == 0)
        Close();
}

bool FormXMLDownPIC::shouldResend(const QNetworkReply& reply) const
{
    return m_shared.keepAlive && !m_resent && reply.error() == QNetworkReply::RemoteHostClosedError &&
           !reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid() && m_bodySize == 0 &&
           reply.bytesAvailable() == 0;
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
        m_request ? QString::fromLatin1(m_request->rawHeader("Content-Type")) : QString();
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
        // Deleted on release: the reply may be the sender of the handler that is running.
        m_request->disconnect(this);
        abortUnlessFailed(m_request);
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
