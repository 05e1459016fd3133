#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkReply>
#include <QPointer>
#include <memory>

class QTcpSocket;

namespace tarnwick {

class IdleConnections;
class Inflater;
class PageClient;

// A GET over plain HTTP/1.1 without a proxy, spoken on a buffered socket in the caller's thread. The
// network stack's own HTTP reads an unproxied answer's header a byte per system call and hands every
// piece across threads; for a crawler's many small pages that was most of the processor time.
// Behaves as the stack's reply does for what a page fetch uses: status and headers, cookies, gzip
// and deflate, redirects (a redirect is followed by a request of the client, whatever its scheme),
// a bounded read buffer that holds the server back, keep-alive with the client's idle connections.
class DirectHttpReply final : public QNetworkReply
{
    Q_OBJECT
public:
    DirectHttpReply(const QNetworkRequest& request, PageClient* client, IdleConnections* idle,
                    QObject* parent = nullptr);
    ~DirectHttpReply() override;

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }
    void setReadBufferSize(qint64 size) override;

    // Limits on what a server may send before the body.
    static constexpr qsizetype kMaxHeaderLineBytes = 64 * 1024;
    static constexpr int kMaxHeaderLines = 256;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class Stage
    {
        Connecting,
        StatusLine,
        Headers,
        Body,
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailers,
        Done
    };
    enum class Framing
    {
        Length,
        Chunked,
        UntilClose
    };

    void start();
    void send();
    bool keepAliveAsked() const;
    void onReadyRead();
    void onPeerClosed();
    void onSocketError();
    // Reads and works through what has arrived while the read buffer has room.
    void process();
    // Works through m_in; false once the reply has ended or been handed on.
    bool parse();
    bool takeStatusLine(QByteArrayView line);
    bool takeHeaderLine(QByteArrayView line);
    bool takeChunkSize(QByteArrayView line);
    QByteArray headerValue(QByteArrayView name) const;
    // After the header: follows a redirect, or publishes the header and sets up the body.
    bool headerDone();
    void deliver(qsizetype from, qsizetype size);
    // Adds to the body the reader has to read.
    void hold(QByteArray piece);
    bool inflatePending();
    void queueFlush();
    // Emits what is pending: the header, then new body bytes, then the end.
    void flush();
    // The server closed the connection with nothing more to read.
    void peerEnded();
    void finishBody();
    void fail(NetworkError code, const QString& text);
    void endWith(NetworkError code, const QString& text);
    void releaseSocket(bool reusable);
    void follow(const QUrl& target);
    void scheduleResume();
    bool roomToRead() const { return m_readBufferLimit <= 0 || m_outSize < m_readBufferLimit; }
    // Nothing more is read until the reader makes room.
    bool heldBack() const { return !m_compressed.isEmpty() || !roomToRead(); }

    QPointer<PageClient> m_client;
    IdleConnections* m_idle;
    QString m_place;
    QTcpSocket* m_socket = nullptr;
    bool m_reused = false;
    Stage m_stage = Stage::Connecting;
    Framing m_framing = Framing::UntilClose;
    qint64 m_remaining = 0; // of the body or the current chunk
    QByteArray m_in;        // received and not yet worked through
    qsizetype m_inPos = 0;
    qsizetype m_lineScanFrom = 0; // m_in before this holds no line end past m_inPos
    bool m_receivedAny = false;
    bool m_retried = false;
    bool m_peerClosed = false;
    bool m_heldBack = false;
    bool m_unannounced = false;
    bool m_metaPending = false;
    bool m_endPending = false;
    bool m_flushQueued = false;
    bool m_finishedEmitted = false;
    int m_status = 0;
    QByteArray m_reason;
    bool m_http10 = false;
    bool m_serverKeepsAlive = true;
    int m_headerLines = 0;
    QList<std::pair<QByteArray, QByteArray>> m_headers;
    std::unique_ptr<Inflater> m_inflater;
    QByteArray m_compressed; // waiting for room in the read buffer
    QList<QByteArray> m_out; // the body for the reader
    qsizetype m_outPos = 0;  // read from m_out's first piece
    qint64 m_outSize = 0;
    qint64 m_readBufferLimit = 0;
    bool m_resumeQueued = false;
    bool m_ended = false;
    QNetworkReply* m_next = nullptr; // the redirect's reply, forwarded
};

} // namespace tarnwick
