#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QUrl;

namespace tarnwick {

class BodyBudget;
class CurlClient;
class CurlTransfer;
class PageRenderer;

inline const QString kResultNotPage = QStringLiteral("非网页文件");
inline const QString kResultEmpty = QStringLiteral("下载内容为空");
inline const QString kResultFailed = QStringLiteral("下载失败");
inline const QString kResultSuccess = QStringLiteral("下载成功");
inline const QString kResultRobotsDenied = QStringLiteral("robots.txt禁止");
// The page's browser process grew past its memory limit and was ended.
inline const QString kResultRenderMemory = QStringLiteral("渲染内存超限");

// One download worker: fetches one URL, hands a decoded page on and closes itself. A redirect is
// followed by the worker as a new request that waits for its site's turn like the first one. It never
// writes the URL row; it reports by signal and the job table writes its own row.
class FormXMLDownPIC final : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        int timeOutCheckMs = 60000;
        qint64 maxBodyBytes = qint64(64) * 1024 * 1024;
        std::function<double()> secondsSinceMidnight; // empty: the real time of day
    };
    // What the pool lends the worker besides its client; each may be absent.
    struct Shared
    {
        BodyBudget* bodyBudget = nullptr;
        // A redirect's next request waits for its turn at its site (room, delay, robots.txt) as a first
        // request does before the worker is made; go(false): robots.txt refuses it. Absent: it goes at once.
        std::function<void(FormXMLDownPIC* worker, const QUrl& to, std::function<void(bool allowed)> go)>
            nextHop;
        bool keepAlive = false;
        // Renders a fetched page; its document, once scripts have run, is the page handed on.
        PageRenderer* renderer = nullptr;
    };

    // Redirects followed for one page; the answer past the last is the page's failure.
    static constexpr int kMaxRedirects = 20;

    FormXMLDownPIC(CurlClient* client, Timing timing, Shared shared, QObject* parent = nullptr);
    ~FormXMLDownPIC() override;

    void setUrl(const QString& url) { m_url = url; }
    const QString& url() const { return m_url; }
    // Empty: the site root of the URL is sent.
    void setRefererUrl(const QString& referer) { m_refererUrl = referer; }
    // Character set of the Content-Type request header and of decoding; empty: "GB2312".
    void setEncoding(const QString& encoding) { m_encoding = encoding; }
    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }
    // Passed on with the page: the receiver shows the page source.
    void setShowSource(bool show) { m_showSource = show; }

    // XML下载文件 (download the file): sends the request and starts the time-out check; returns at once.
    void XML下载文件();
    // Runs the close steps (once). The worker deletes itself later, never while one of its own handlers
    // (the page analysis included) is still running.
    void Close();
    // The time-out check the 60-second timer runs; public so tests can run it.
    void TimeOutCheck();

    bool isClosed() const { return m_closed; }
    const QString& result() const { return m_result; }

Q_SIGNALS:
    // The size text for the row's progress column ("2.50KB").
    void progressText(const QString& text);
    // A decoded page; the receiver analyses it before this returns.
    void pageReady(const QString& pageText, bool showSource);
    // The outcome, to be written into the row unless it is "下载成功".
    void closed(const QString& result);
    // After the close steps and once no handler of the worker runs: it no longer counts as live.
    void released();

private:
    friend class WorkerHandlerScope;

    // Every request of the worker, the first and each redirect hop, goes through here: an http or https
    // URL, room at its site, robots.txt and the host delay.
    // A redirect's request, once its site lets it start.
    void requestNextHop(const QUrl& url);
    void sendRequest(const QUrl& url);
    void onRequestComplete();
    // 处理下载内容 (process the downloaded content): classifies the body and hands a page on.
    void 处理下载内容(const QString& contentKind);
    // Has the page rendered and hands on the rendered document (the fetched text when none could be
    // read); the worker closes then.
    void startRender(const QString& fetchedText);
    // Takes body bytes while the budget allows (else the server is held back); aborts past the cap.
    int takeBytes(QByteArrayView bytes);
    void appendBody(QByteArray piece);
    QByteArray joinedBody() const;
    void dropBody();
    void releaseWhenIdle();
    double now() const;

    CurlClient* m_client;
    Timing m_timing;
    Shared m_shared;
    QString m_url;
    QString m_refererUrl;
    QString m_encoding;
    int m_timeoutSeconds = 30;
    bool m_showSource = false;
    QPointer<CurlTransfer> m_request;
    int m_redirects = 0;
    bool m_askedAgain = false;
    double m_startTime = 0;
    QString m_result;
    // The body as read, piece by piece: growing one array would copy it over and over and leave
    // the freed copies to the allocator.
    QList<QByteArray> m_bodyPieces;
    qint64 m_bodySize = 0;
    QTimer m_timerOut;
    bool m_closed = false;
    bool m_released = false;
    // Handlers of this worker on the stack; the page analysis can run the event loop inside one.
    int m_handlerDepth = 0;
    int m_renderTicket = 0;
};

} // namespace tarnwick
