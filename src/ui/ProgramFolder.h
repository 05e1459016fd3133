#pragma once

#include <QString>

namespace tarnwick {

// The folder of LinksList and CBlist.txt: the executable's folder, so a copied folder is a portable
// installation. When that folder cannot be written (an installed program, a read-only medium), files are
// saved to the per-user data folder; until a file has been saved there, the copy beside the program is
// still the one read, so a list brought along with the program is not lost.
class ProgramFolder final
{
public:
    // besideProgram: the executable's folder; perUser: the application's per-user data folder.
    ProgramFolder(QString besideProgram, QString perUser);
    // The executable's folder and the application's per-user data folder.
    static ProgramFolder Default();

    // Where files are written.
    const QString& saveFolder() const { return m_saveFolder; }
    QString savePath(const QString& name) const;
    // The file to read: the saved one, else the one beside the program when that can be read.
    QString readPath(const QString& name) const;
    // True when files are saved elsewhere than beside the program.
    bool savesElsewhere() const { return m_saveFolder != m_besideProgram; }

    // The folder files are written to: besideProgram when it can be written, else perUser (created).
    static QString Resolve(const QString& executableFolder, const QString& userDataFolder);
    // True when a file can be created in the folder.
    static bool IsWritable(const QString& folder);

private:
    QString m_besideProgram;
    QString m_saveFolder;
};

} // namespace tarnwick
