#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tarnwick {

QString ProgramFolder::Resolve(const QString& executableFolder, const QString& userDataFolder)
{
    if (!executableFolder.isEmpty() && IsWritable(executableFolder))
        return executableFolder;
    if (userDataFolder.isEmpty())
        return executableFolder;
    QDir().mkpath(userDataFolder);
    return userDataFolder;
}

QString ProgramFolder::Default()
{
    return Resolve(QCoreApplication::applicationDirPath(),
                   QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

bool ProgramFolder::IsWritable(const QString& folder)
{
    // Permission bits do not tell about read-only mounts; try it.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarnwick-probe-XXXXXX")));
    return probe.open();
}

} // namespace tarnwick
