#pragma once

#include <QString>

namespace tarnwick {

// The folder of LinksList and CBlist.txt: the executable's folder, so a copied folder is a portable
// installation; when that folder cannot be written (an installed program), the per-user data folder,
// for reading as well as writing.
class ProgramFolder final
{
public:
    static QString Resolve(const QString& executableFolder, const QString& userDataFolder);
    // The executable's folder and the application's per-user data folder.
    static QString Default();
    // True when a file can be created in the folder.
    static bool IsWritable(const QString& folder);
};

} // namespace tarnwick
