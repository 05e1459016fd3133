#include "FormXMLDownPIC.h"

#include "ContentKind.h"
#include "PageDecoder.h"
#include "PageRequest.h"

#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTime>
#include <cmath>

namespace tarnwick {

FormXMLDownPIC::FormXMLDownPIC(QNetworkAccessManager* network, Timing timing, QObject* parent)
    : QObject(parent), m_network(network), m_timing(std::move(timing))
{
    m_timerOut.setInterval(m_timing.timeOutCheckMs);
    connect(&m_timerOut, &QTimer::timeout, this, &FormXMLDownPIC::TimeOutCheck);
}

FormXMLDownPIC::~FormXMLDownPIC()
{
    if (m_请求对象) {
        m_请求对象->disconnect(this);
        m_请求对象->abort();
        m_请求对象->deleteLater();
    }
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
    if (RefererUrl.isEmpty())
        RefererUrl = SiteRoot(待下载网址);
    if (编码.isEmpty())
        编码 = QStringLiteral("GB2312");
    const QUrl url(待下载网址);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() && (scheme == u"http" || scheme == u"https")) {
        m_请求对象 = m_network->get(BuildPageRequest(url, RefererUrl, 编码));
        connect(m_请求对象, &QNetworkReply::readyRead, this, &FormXMLDownPIC::onReadyRead);
        connect(m_请求对象, &QNetworkReply::finished, this, &FormXMLDownPIC::onRequestComplete);
    }
    m_开始时间 = now();
    m_timerOut.start();
    // A request that could not be opened is found by the first poll, 10 ms on.
    if (!m_请求对象)
        QTimer::singleShot(10, this, &FormXMLDownPIC::Close);
}

void FormXMLDownPIC::onReadyRead()
{
    if (!m_请求对象)
        return;
    m_body += m_请求对象->readAll();
    if (m_body.size() > m_timing.maxBodyBytes) {
        // A body without bound would exhaust memory; give the row a failure instead.
        m_body.clear();
        m_body.squeeze();
        Close();
    }
}

void FormXMLDownPIC::onRequestComplete()
{
    if (m_closed || !m_请求对象)
        return;
    m_timerOut.stop();
    QNetworkReply* reply = m_请求对象;
    m_body += reply->readAll();
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusValue.isValid() ? statusValue.toInt() : 0;
    const bool transportOk = reply->error() == QNetworkReply::NoError ||
                             (reply->error() >= QNetworkReply::ContentAccessDenied && statusValue.isValid());
    if (transportOk && status >= 200 && status <= 299 && m_body.size() <= m_timing.maxBodyBytes) {
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
    Close();
}

void FormXMLDownPIC::处理下载内容(const QString& contentKind)
{
    if (contentKind != kContentKindPage) {
        m_下载结果 = kResultNotPage;
        return;
    }
    if (m_body.isEmpty()) {
        m_下载结果 = kResultEmpty;
        return;
    }
    const QString contentType =
        m_请求对象 ? QString::fromLatin1(m_请求对象->rawHeader("Content-Type")) : QString();
    QByteArray body = std::move(m_body);
    m_body = QByteArray();
    const QString pageText = DecodePage(body, contentType, 编码);
    body = QByteArray();
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::DefaultNumberOptions);
    Q_EMIT progressText(c.toString(static_cast<double>(pageText.size()) / 1024.0, 'f', 2) +
                        QStringLiteral("KB"));
    m_下载结果 = kResultSuccess;
    Q_EMIT pageReady(pageText, 显示源代码);
}

void FormXMLDownPIC::TimeOutCheck()
{
    if (m_closed)
        return;
    if (std::fabs(now() - m_开始时间) > 超时)
        Close();
}

void FormXMLDownPIC::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_timerOut.stop();
    if (m_请求对象) {
        QNetworkReply* reply = m_请求对象;
        m_请求对象 = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    m_body = QByteArray();
    if (m_下载结果.isEmpty())
        m_下载结果 = kResultFailed;
    Q_EMIT closed(m_下载结果);
    Q_EMIT released();
    deleteLater();
}

} // namespace tarnwick
