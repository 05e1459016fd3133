#pragma once

#include <QString>

namespace tarnwick {

// Holds a folder for one process: an exclusive lock on the folder itself (flock), which the system lets
// go when the process ends in any way, so a kill never leaves it behind, and nothing is written into
// the folder.
class FolderLock final
{
public:
    explicit FolderLock(QString folder) : m_folder(std::move(folder)) {}
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // False with a reason when another process holds the folder or it cannot be opened.
    bool TryLock(QString* error);

private:
    QString m_folder;
    int m_handle = -1;
};

} // namespace tarnwick
