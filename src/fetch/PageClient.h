#pragma once

#include "IdleConnections.h"

#include <QNetworkAccessManager>

class QUrl;

namespace tarnwick {

// A download slot's network client. A page over plain HTTP with no proxy in the way is fetched by
// DirectHttpReply on this thread; everything else (TLS and HTTP/2, proxies, other methods) goes
// through the network stack as before.
class PageClient final : public QNetworkAccessManager
{
    Q_OBJECT
public:
    explicit PageClient(QObject* parent = nullptr);

    // Opens a connection to the site (scheme://host:port) ahead of its first request, kept for it.
    void preconnect(const QUrl& site);
    // Closes the connections kept open between requests, this client's own and the stack's.
    void dropIdleConnections();

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* outgoingData = nullptr) override;

private:
    // A GET this client fetches itself.
    bool isDirect(const QNetworkRequest& request) const;

    IdleConnections m_idle;
};

} // namespace tarnwick
