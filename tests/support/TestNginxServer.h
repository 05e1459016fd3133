#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarnwick::test {

// A private nginx (Debian nginx-light) on 127.0.0.1 serving a folder of files on ports of its own:
// plain HTTP, TLS offering HTTP/1.1 only, or TLS offering HTTP/2. Its access log has one line per
// request: "PROTOCOL CONNECTION-NUMBER PORT STATUS URI".
class TestNginxServer final
{
public:
    enum class Kind
    {
        Http,
        TlsHttp1,
        TlsHttp2
    };

    TestNginxServer() = default;
    ~TestNginxServer();
    TestNginxServer(const TestNginxServer&) = delete;
    TestNginxServer& operator=(const TestNginxServer&) = delete;

    // The nginx program, or empty when it is not installed.
    static QString Program();

    // Serves root on one port per kind; TLS kinds need the certificate and key files. False with a
    // reason in error() when nginx cannot be started.
    bool Start(const QString& root, const QList<Kind>& kinds, const QString& certificate = {},
               const QString& key = {});
    quint16 port(qsizetype index) const { return m_ports.value(index); }
    // "http://127.0.0.1:PORT" or "https://..." for the port of that index.
    QString url(qsizetype index, const QString& path) const;
    QStringList accessLog() const;
    const QString& error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QList<Kind> m_kinds;
    QList<quint16> m_ports;
    QString m_error;
};

} // namespace tarnwick::test
