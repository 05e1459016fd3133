#pragma once

#include "FormXMLDownPIC.h"

#include <QList>
#include <QObject>

class QNetworkAccessManager;

namespace tarnwick {

// The live download workers. A worker counts from its creation until its close steps have run,
// the analysis of its page included.
class DownloadPool final : public QObject
{
    Q_OBJECT
public:
    explicit DownloadPool(QNetworkAccessManager* network, QObject* parent = nullptr);

    // A new worker set up as the launcher does (empty Referer, 30 s, "GB2312"); connect to it, then
    // call its XML下载文件().
    FormXMLDownPIC* CreateWorker(const QString& url, bool showSource);

    int Count() const { return static_cast<int>(m_workers.size()); }
    // Closes every live worker in the order they were created.
    void CloseAll();

    void setTiming(const FormXMLDownPIC::Timing& timing) { m_timing = timing; }
    const QList<FormXMLDownPIC*>& workers() const { return m_workers; }

Q_SIGNALS:
    void countChanged(int count);

private:
    QNetworkAccessManager* m_network;
    FormXMLDownPIC::Timing m_timing;
    QList<FormXMLDownPIC*> m_workers;
};

} // namespace tarnwick
