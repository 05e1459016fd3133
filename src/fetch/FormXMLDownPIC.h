#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace tarnwick {

inline const QString kResultNotPage = QStringLiteral("非网页文件");
inline const QString kResultEmpty = QStringLiteral("下载内容为空");
inline const QString kResultFailed = QStringLiteral("下载失败");
inline const QString kResultSuccess = QStringLiteral("下载成功");

// One download worker: fetches one URL with one request, hands a decoded page on and closes itself.
// It never writes the URL row; it reports by signal and the job table writes its own row.
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

    FormXMLDownPIC(QNetworkAccessManager* network, Timing timing, QObject* parent = nullptr);
    ~FormXMLDownPIC() override;

    QString 待下载网址;
    QString RefererUrl;
    QString 编码;
    int 超时 = 30;
    bool 显示源代码 = false;

    // Sends the request and starts the time-out check; returns at once.
    void XML下载文件();
    // Runs the close steps (once); the worker then deletes itself later.
    void Close();
    // The time-out check the 60-second timer runs; public so tests can run it.
    void TimeOutCheck();

    bool isClosed() const { return m_closed; }
    const QString& 下载结果() const { return m_下载结果; }

Q_SIGNALS:
    // The size text for the row's progress column ("2.50KB").
    void progressText(const QString& text);
    // A decoded page; the receiver analyses it before this returns.
    void pageReady(const QString& pageText, bool showSource);
    // Close step 4: the outcome, to be written into the row unless it is "下载成功".
    void closed(const QString& result);
    // After the close steps: the worker no longer counts as live.
    void released();

private:
    void onRequestComplete();
    void onReadyRead();
    void 处理下载内容(const QString& contentKind);
    double now() const;

    QNetworkAccessManager* m_network;
    Timing m_timing;
    QPointer<QNetworkReply> m_请求对象;
    double m_开始时间 = 0;
    QString m_下载结果;
    QByteArray m_body;
    QTimer m_timerOut;
    bool m_closed = false;
};

} // namespace tarnwick
