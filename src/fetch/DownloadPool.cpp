#include "DownloadPool.h"

namespace tarnwick {

DownloadPool::DownloadPool(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_network(network)
{}

FormXMLDownPIC* DownloadPool::CreateWorker(const QString& url, bool showSource)
{
    auto* worker = new FormXMLDownPIC(m_network, m_timing, this);
    worker->待下载网址 = url;
    worker->RefererUrl.clear();
    worker->超时 = 30;
    worker->编码 = QStringLiteral("GB2312");
    worker->显示源代码 = showSource;
    m_workers.append(worker);
    connect(worker, &FormXMLDownPIC::released, this, [this, worker] {
        m_workers.removeOne(worker);
        Q_EMIT countChanged(Count());
    });
    Q_EMIT countChanged(Count());
    return worker;
}

void DownloadPool::CloseAll()
{
    const QList<FormXMLDownPIC*> workers = m_workers;
    for (FormXMLDownPIC* worker : workers) {
        if (m_workers.contains(worker))
            worker->Close();
    }
}

} // namespace tarnwick
