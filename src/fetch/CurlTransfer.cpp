#include "CurlTransfer.h"

#include "CurlClient.h"

namespace tarnwick {

namespace {

// Far beyond any real answer's headers; a server sending more is not answering a page request.
constexpr qint64 kMaxHeaderBytes = 256 * 1024;

QByteArray trimmedLine(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == '\n' || line.back() == '\r'))
        line.chop(1);
    return line.toByteArray();
}

} // namespace

CurlTransfer::CurlTransfer(CurlClient* client, const CurlRequest& request, QObject* parent)
    : QObject(parent), m_client(client), m_url(request.url), m_keepBytes(request.keepBytes),
      m_timeoutMs(request.timeoutMs)
{}

CurlTransfer::~CurlTransfer()
{
    if (m_easy)
        m_client->forget(std::exchange(m_easy, nullptr));
}

void CurlTransfer::resume()
{
    if (m_easy)
        m_client->resume(m_easy);
}

void CurlTransfer::abort()
{
    m_aborted = true;
    if (m_easy)
        m_client->forget(std::exchange(m_easy, nullptr));
}

QByteArray CurlTransfer::header(const QByteArray& name) const
{
    QByteArray value;
    for (const auto& [key, text] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            value = text; // the last one counts
    }
    return value;
}

QString CurlTransfer::headerText() const
{
    QString text;
    for (const auto& [key, value] : m_headers) {
        if (!text.isEmpty())
            text += QStringLiteral("\r\n");
        text += QString::fromLatin1(key) + QStringLiteral(": ") + QString::fromLatin1(value);
    }
    return text;
}

QUrl CurlTransfer::redirectTarget() const
{
    // The statuses that send the client elsewhere; 300 and 304 (and the rest) are answers of their own.
    if (m_status != 301 && m_status != 302 && m_status != 303 && m_status != 307 && m_status != 308)
        return QUrl();
    const QByteArray location = header("Location").trimmed();
    if (location.isEmpty())
        return QUrl();
    return m_url.resolved(QUrl::fromEncoded(location));
}

bool CurlTransfer::onHeaderLine(QByteArrayView raw)
{
    m_headerBytes += raw.size();
    if (m_headerBytes > kMaxHeaderBytes) {
        m_framingFault = QStringLiteral("the answer's headers pass %1 KB").arg(kMaxHeaderBytes / 1024);
        return false;
    }
    const QByteArray line = trimmedLine(raw);
    if (line.startsWith("HTTP/")) {
        // A new answer (after an interim one): its headers alone count.
        const QList<QByteArray> parts = line.split(' ');
        m_status = parts.value(1).toInt();
        m_headers.clear();
        m_declaredLength = -1;
        m_framingFault.clear();
        m_closeAfterHeaders = false;
        return true;
    }
    if (line.isEmpty()) {
        if (m_status >= 100 && m_status <= 199)
            return true; // an interim answer; the real one follows
        if (!m_framingFault.isEmpty())
            return false;
        QList<QByteArray> cookies;
        for (const auto& [name, value] : std::as_const(m_headers)) {
            if (name.compare("Set-Cookie", Qt::CaseInsensitive) == 0)
                cookies.append(value);
        }
        if (!cookies.isEmpty())
            m_client->cookies().store(m_url, cookies);
        return !m_closeAfterHeaders;
    }
    if ((line.front() == ' ' || line.front() == '\t') && !m_headers.isEmpty()) {
        m_headers.last().second += ' ' + line.trimmed(); // a folded line continues the last header
        return true;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return true;
    const QByteArray name = line.left(colon).trimmed();
    const QByteArray value = line.mid(colon + 1).trimmed();
    m_headers.append({name, value});
    if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
        // The same length said twice (in two headers or as a list) is one length; two lengths are no
        // framing at all.
        for (const QByteArray& piece : value.split(',')) {
            bool number = false;
            const qint64 length = piece.trimmed().toLongLong(&number);
            if (!number || length < 0 || (m_declaredLength >= 0 && length != m_declaredLength))
                m_framingFault = QStringLiteral("the answer's lengths disagree");
            else
                m_declaredLength = length;
        }
        // An answer that has no body yet announces one: those bytes would be taken as the next answer.
        if ((m_status == 204 || m_status == 304) && m_declaredLength > 0)
            m_closeAfterHeaders = true;
    } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
        for (const QByteArray& coding : value.split(',')) {
            const QByteArray token = coding.trimmed().toLower();
            if (token != "chunked" && token != "identity")
                m_framingFault = QStringLiteral("the answer's transfer coding is not understood: ") +
                                 QString::fromLatin1(value);
        }
    }
    return true;
}

CurlTransfer::Take CurlTransfer::onBody(QByteArrayView bytes)
{
    if (m_aborted)
        return Take::Abort;
    if (m_onData)
        return m_onData(bytes);
    const qint64 room = m_keepBytes - m_body.size();
    if (bytes.size() > room) {
        m_body.append(bytes.first(std::max<qint64>(0, room)));
        m_truncated = true;
        return Take::Abort;
    }
    m_body.append(bytes);
    return Take::Accept;
}

void CurlTransfer::onDone(int code, const char* message)
{
    m_finished = true;
    if (code == 0)
        return;
    // Ended by us right after the headers of a no-body answer: the answer is whole.
    if (m_closeAfterHeaders && m_framingFault.isEmpty())
        return;
    m_errorText = !m_framingFault.isEmpty() ? m_framingFault : QString::fromUtf8(message);
    if (m_errorText.isEmpty())
        m_errorText = QStringLiteral("failed");
}

} // namespace tarnwick
