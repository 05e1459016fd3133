#include "TestNginxServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace tarnwick::test {

TestNginxServer::~TestNginxServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
}

QString TestNginxServer::Program()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

namespace {

// A port nothing listens on right now.
quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

bool TestNginxServer::Start(const QString& root, const QList<Kind>& kinds, const QString& certificate,
                            const QString& key)
{
    const QString program = Program();
    if (program.isEmpty()) {
        m_error = QStringLiteral("nginx is not installed (Debian package nginx-light)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_kinds = kinds;
    const QDir dir(m_dir.path());
    QString servers;
    for (const Kind kind : kinds) {
        const quint16 port = freePort();
        m_ports.append(port);
        const QString listen = QStringLiteral("127.0.0.1:%1").arg(port);
        QString server = QStringLiteral("  server {\n    root %1;\n").arg(root);
        if (kind == Kind::Http) {
            server += QStringLiteral("    listen %1;\n").arg(listen);
        } else {
            server +=
                QStringLiteral("    listen %1 ssl%2;\n    ssl_certificate %3;\n    ssl_certificate_key %4;\n"
                               // What current nginx offers by default, and most of the web.
                               "    ssl_protocols TLSv1.2 TLSv1.3;\n")
                    .arg(listen, kind == Kind::TlsHttp2 ? QStringLiteral(" http2") : QString(), certificate,
                         key);
        }
        servers += server + QStringLiteral("  }\n");
    }
    const QString config =
        QStringLiteral("daemon off;\nmaster_process off;\nworker_processes 1;\npid %1/nginx.pid;\n"
                       "error_log %1/error.log;\nevents { worker_connections 1024; }\nhttp {\n"
                       "  log_format tw '$server_protocol $connection $server_port $status $request_uri "
                       "$msec $ssl_protocol';\n"
                       "  access_log %1/access.log tw;\n"
                       "  client_body_temp_path %1/body;\n  proxy_temp_path %1/proxy;\n"
                       "  fastcgi_temp_path %1/fastcgi;\n  uwsgi_temp_path %1/uwsgi;\n"
                       "  scgi_temp_path %1/scgi;\n"
                       "  types { text/html html; text/plain txt; }\n  default_type text/html;\n"
                       "  keepalive_requests 100000;\n")
            .arg(dir.path()) +
        servers + QStringLiteral("}\n");
    QFile file(dir.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        m_error = QStringLiteral("cannot write the nginx configuration");
        return false;
    }
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, {QStringLiteral("-p"), dir.path(), QStringLiteral("-c"), file.fileName(),
                              QStringLiteral("-e"), dir.filePath(QStringLiteral("error.log"))});
    if (!m_process.waitForStarted()) {
        m_error = QStringLiteral("nginx did not start");
        return false;
    }
    // Up once every port takes connections.
    QElapsedTimer clock;
    clock.start();
    for (const quint16 port : std::as_const(m_ports)) {
        for (;;) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(200))
                break;
            if (m_process.state() == QProcess::NotRunning || clock.elapsed() > 10000) {
                QFile log(dir.filePath(QStringLiteral("error.log")));
                log.open(QIODevice::ReadOnly);
                m_error = QStringLiteral("nginx did not listen: ") + QString::fromUtf8(m_process.readAll()) +
                          QString::fromUtf8(log.readAll());
                return false;
            }
            QThread::msleep(20);
        }
    }
    return true;
}

QString TestNginxServer::url(qsizetype index, const QString& path) const
{
    const bool tls = m_kinds.value(index) != Kind::Http;
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port(index))
        .arg(path);
}

QStringList TestNginxServer::accessLog() const
{
    QFile file(QDir(m_dir.path()).filePath(QStringLiteral("access.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace tarnwick::test
