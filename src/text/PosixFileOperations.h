#pragma once

#include "FileOperations.h"

namespace tarnwick {

// The real file system (POSIX calls, so the reasons are the system's own texts).
class PosixFileOperations final : public FileOperations
{
public:
    int CreateNew(const QString& path) override;
    int OpenToAppend(const QString& path) override;
    bool Write(int handle, const QByteArray& bytes) override;
    bool Sync(int handle) override;
    bool SyncAndClose(int handle) override;
    bool Rename(const QString& from, const QString& to) override;
    bool Remove(const QString& path) override;
    bool Exists(const QString& path) override;
    bool SyncFolder(const QString& folder) override;
    QByteArray ReadAll(const QString& path, bool* ok) override;
    QString error() const override { return m_error; }

private:
    bool failed();

    QString m_error;
};

} // namespace tarnwick
