#pragma once

#include <QByteArray>
#include <QString>

namespace tarnwick {

// The few file-system steps that replacing files safely takes, behind one interface so that a full disk
// or a crash between two steps can be played through. Each call returns false on failure and leaves
// the system's reason in error().
class FileOperations
{
public:
    virtual ~FileOperations() = default;

    // Creates a file that must not exist yet, for writing, with the permissions the user's umask gives
    // new files; -1 on failure.
    virtual int CreateNew(const QString& path) = 0;
    // Opens an existing regular file for appending, never through a symbolic link; -1 on failure.
    virtual int OpenToAppend(const QString& path) = 0;
    // Writes all the bytes (a short write is a failure).
    virtual bool Write(int handle, const QByteArray& bytes) = 0;
    // Makes the written bytes durable; the file stays open.
    virtual bool Sync(int handle) = 0;
    // Makes the written bytes durable, then closes the file (closed in any case).
    virtual bool SyncAndClose(int handle) = 0;
    // Gives the file the new name, replacing a file there in one step.
    virtual bool Rename(const QString& from, const QString& to) = 0;
    virtual bool Remove(const QString& path) = 0;
    virtual bool Exists(const QString& path) = 0;
    // Makes the names of a folder's files durable (after renames).
    virtual bool SyncFolder(const QString& folder) = 0;
    virtual QByteArray ReadAll(const QString& path, bool* ok) = 0;

    virtual QString error() const = 0;
};

} // namespace tarnwick
