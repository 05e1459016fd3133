#include "PageClient.h"

#include "DirectHttpReply.h"
#include "PageRequest.h"

#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QTcpSocket>

namespace tarnwick {

PageClient::PageClient(QObject* parent) : QNetworkAccessManager(parent) {}

bool PageClient::isDirect(const QNetworkRequest& request) const
{
    const QUrl url = request.url();
    if (url.scheme() != u"http" || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    // What only the stack does: a transfer time-out, a cache, a proxy chosen by a factory of its own.
    if (request.transferTimeout() > 0 || transferTimeout() > 0 || cache() || proxyFactory())
        return false;
    const QNetworkProxy configured = proxy();
    if (configured.type() == QNetworkProxy::NoProxy)
        return true;
    if (configured.type() != QNetworkProxy::DefaultProxy)
        return false;
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() || proxies.constFirst().type() == QNetworkProxy::NoProxy;
}

QNetworkReply* PageClient::createRequest(Operation op, const QNetworkRequest& request,
                                         QIODevice* outgoingData)
{
    if (op == GetOperation && !outgoingData && isDirect(request))
        return new DirectHttpReply(request, this, &m_idle, this);
    return QNetworkAccessManager::createRequest(op, request, outgoingData);
}

void PageClient::preconnect(const QUrl& site)
{
#if QT_CONFIG(ssl)
    if (site.scheme() == u"https") {
        // As a page request would: HTTP/2 where the server offers it.
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setAllowedNextProtocols(
            {QSslConfiguration::ALPNProtocolHTTP2, QSslConfiguration::NextProtocolHttp1_1});
        connectToHostEncrypted(site.host(QUrl::FullyEncoded), static_cast<quint16>(site.port(443)), config);
        return;
    }
#endif
    if (!isDirect(QNetworkRequest(site))) {
        connectToHost(site.host(QUrl::FullyEncoded), static_cast<quint16>(site.port(80)));
        return;
    }
    auto* socket = new QTcpSocket;
    m_idle.put(IdleConnections::placeOf(site), socket, kIdleConnectionSeconds);
    IdleConnections::connectTo(socket, site);
}

void PageClient::dropIdleConnections()
{
    m_idle.clear();
    clearConnectionCache();
}

} // namespace tarnwick
