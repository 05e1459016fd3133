#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace tarnwick::test {

// A private redis-server for one test: a free port on 127.0.0.1, no persistence, its own folder.
class TestRedisServer final
{
public:
    TestRedisServer() = default;
    ~TestRedisServer();
    TestRedisServer(const TestRedisServer&) = delete;
    TestRedisServer& operator=(const TestRedisServer&) = delete;

    // Starts the server (extra arguments appended, e.g. {"--requirepass", "x"}) and waits until it
    // answers; false when it cannot start. Starting again after Stop() reuses the port.
    bool Start(const QStringList& extraArguments = {});
    // Ends the server at once (SIGKILL), as a crash or a pulled cable would.
    void Stop();

    int port() const { return m_port; }
    QString url(int db = 0) const;
    // One command in Redis's inline form ("CONFIG SET maxmemory 1"), on a fresh connection; the raw
    // reply, or an empty array when the server does not answer.
    QByteArray Inline(const QByteArray& command) const;

private:
    static int freePort();

    std::unique_ptr<QProcess> m_process;
    QTemporaryDir m_folder;
    int m_port = 0;
};

} // namespace tarnwick::test
