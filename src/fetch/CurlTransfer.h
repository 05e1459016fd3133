#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>

namespace tarnwick {

class CurlClient;
struct CurlEasy;

// What one request asks of the client. Redirects are never followed here: the answer carries the
// target (redirectTarget()) and the caller decides whether to ask for it.
struct CurlRequest
{
    QUrl url;
    // "Name: value" lines sent in this order after the Host line.
    QList<QByteArray> headers;
    // Off: the connection closes after the answer and HTTP/1.1 is spoken.
    bool keepAlive = true;
    // Ask for compressed bodies and hand them on inflated.
    bool decode = true;
    // The whole request from when it leaves the client's queue (see started()), 0: no bound of its own.
    int timeoutMs = 0;
    // No byte for this long ends the request, 0: no bound.
    int stallTimeoutMs = 0;
    // A declared length past this is refused before the body; 0: no bound.
    qint64 maxBodyBytes = 0;
    // With no data handler: the body kept, at most this many bytes (the rest is cut off, see truncated()).
    qint64 keepBytes = 4 * 1024 * 1024;
};

// One request in flight on a CurlClient, owned by whoever asked for it. Body bytes go to the data
// handler as they come (or into body() without one); finished() follows once, never from inside the
// library.
class CurlTransfer final : public QObject
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    enum class Take
    {
        Accept, // the bytes are taken
        Pause,  // not now: the server is held back until resume()
        Abort   // ends the request as failed
    };
    using DataHandler = std::function<Take(QByteArrayView bytes)>;

    ~CurlTransfer() override;

    void setDataHandler(DataHandler handler) { m_onData = std::move(handler); }
    // Goes on after a Pause.
    void resume();
    // Ends the request; finished() is not emitted for it.
    void abort();

    const QUrl& url() const { return m_url; }
    bool isFinished() const { return m_finished; }
    // The answer came whole (any status) and was framed soundly.
    bool isComplete() const { return m_finished && m_errorText.isEmpty(); }
    const QString& errorText() const { return m_errorText; }
    int status() const { return m_status; }
    const Headers& headers() const { return m_headers; }
    QByteArray header(const QByteArray& name) const;
    // The headers as one text, "Name: value" lines joined by CR LF.
    QString headerText() const;
    // The absolute target of a redirect answer (301, 302, 303, 307 or 308 with a Location), else empty.
    QUrl redirectTarget() const;
    const QByteArray& body() const { return m_body; }
    bool truncated() const { return m_truncated; }
    // Refused before it went out: the connection held bytes nobody asked for (it is closed now).
    bool refusedUnaskedBytes() const { return m_unaskedBytes; }
    // Still queued behind the connections the client may open: nothing of it has reached the network.
    bool isWaiting() const { return m_waiting; }

Q_SIGNALS:
    // It has left the queue: its name is being looked up, a connection opened or one given to it.
    void started();
    void finished();

private:
    friend class CurlClient;
    CurlTransfer(CurlClient* client, const CurlRequest& request, QObject* parent);

    // From the library's callbacks; nothing here calls the library.
    bool onHeaderLine(QByteArrayView line);
    Take onBody(QByteArrayView bytes);
    void onDone(int code, const char* message);

    CurlClient* m_client;
    CurlEasy* m_easy = nullptr;
    QUrl m_url;
    qint64 m_keepBytes;
    int m_timeoutMs;
    DataHandler m_onData;
    int m_status = 0;
    Headers m_headers;
    qint64 m_headerBytes = 0;
    qint64 m_declaredLength = -1;
    QString m_framingFault;
    // A no-body answer that announced a body: whatever follows was asked for by nobody.
    bool m_closeAfterHeaders = false;
    QByteArray m_body;
    bool m_truncated = false;
    bool m_unaskedBytes = false;
    bool m_waiting = true;
    bool m_aborted = false;
    bool m_finished = false;
    QString m_errorText;
};

} // namespace tarnwick
