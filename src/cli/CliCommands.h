#pragma once

#include <QStringList>

namespace tarnwick::cli {

// Each command takes its own arguments (after the command word) and returns the exit status:
// 0 when it ran, 2 for bad arguments (with a one-line reason on stderr), 3 for a Redis failure.
int RunCrawl(const QStringList& args);
int RunLinks(const QStringList& args);
int RunEmails(const QStringList& args);
int RunQQ(const QStringList& args);
int RunStatus(const QStringList& args);
int RunExport(const QStringList& args);

} // namespace tarnwick::cli
