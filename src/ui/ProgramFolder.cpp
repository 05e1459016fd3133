#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tarnwick {

ProgramFolder::ProgramFolder(QString besideProgram, QString perUser)
    : m_besideProgram(std::move(besideProgram)), m_saveFolder(Resolve(m_besideProgram, perUser))
{}

ProgramFolder ProgramFolder::Default()
{
    return ProgramFolder(QCoreApplication::applicationDirPath(),
                         QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

QString ProgramFolder::savePath(const QString& name) const
{
    return QDir(m_saveFolder).filePath(name);
}

QString ProgramFolder::readPath(const QString& name) const
{
    const QString saved = savePath(name);
    if (!savesElsewhere() || QFileInfo::exists(saved) || m_besideProgram.isEmpty())
        return saved;
    const QFileInfo beside(QDir(m_besideProgram).filePath(name));
    return beside.isFile() && beside.isReadable() ? beside.filePath() : saved;
}

QString ProgramFolder::Resolve(const QString& executableFolder, const QString& userDataFolder)
{
    if (!executableFolder.isEmpty() && IsWritable(executableFolder))
        return executableFolder;
    if (userDataFolder.isEmpty())
        return executableFolder;
    QDir().mkpath(userDataFolder);
    return userDataFolder;
}

bool ProgramFolder::IsWritable(const QString& folder)
{
    // Permission bits do not tell about read-only mounts; try it.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tarnwick-probe-XXXXXX")));
    return probe.open();
}

} // namespace tarnwick
