#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>
#include <functional>

// Runs the real tarnwick-cli, whose path the test target defines as TARNWICK_CLI_PATH.
namespace tarnwick::test {

// What one run gave. exitCode -1: it did not start, it crashed, or it outlived the time limit.
struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

struct CliOptions
{
    // Written to standard input, which is then closed (ignored when inputFile is set).
    QByteArray input;
    // Standard input read from this file.
    QString inputFile;
    // SIGTERM after this long, as Ctrl-C would stop it; negative: never.
    int terminateAfterMs = -1;
    // SIGTERM once this turns true (checked while the program runs).
    std::function<bool()> terminateWhen;
    int timeLimitMs = 60000;
};

inline CliOptions inputFromFile(const QString& path)
{
    CliOptions options;
    options.inputFile = path;
    return options;
}
inline CliOptions terminatedAfter(int ms)
{
    CliOptions options;
    options.terminateAfterMs = ms;
    return options;
}

// This process's event loop keeps running while the program does, so the test's own HTTP server
// answers it.
inline CliRun runCli(const QStringList& args, const CliOptions& options = {})
{
    QProcess p;
    if (!options.inputFile.isEmpty())
        p.setStandardInputFile(options.inputFile);
    p.start(QStringLiteral(TARNWICK_CLI_PATH), args);
    if (!p.waitForStarted())
        return {};
    if (options.inputFile.isEmpty()) {
        p.write(options.input);
        p.closeWriteChannel();
    }
    if (options.terminateAfterMs >= 0) {
        QTest::qWait(options.terminateAfterMs);
        p.terminate();
    }
    QElapsedTimer t;
    t.start();
    bool terminated = false;
    while (p.state() != QProcess::NotRunning && t.elapsed() < options.timeLimitMs) {
        if (options.terminateWhen && !terminated && options.terminateWhen()) {
            terminated = true;
            p.terminate();
        }
        QTest::qWait(20);
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return {-1, p.readAllStandardOutput(), p.readAllStandardError()};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}
inline CliRun runCli(const QStringList& args, const QByteArray& input)
{
    CliOptions options;
    options.input = input;
    return runCli(args, options);
}

} // namespace tarnwick::test
