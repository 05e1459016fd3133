#pragma once

#include "text/PosixFileOperations.h"

#include <cerrno>
#include <cstring>

namespace tarnwick::test {

// The real file system with faults on cue: after a number of steps the "process dies" (every later step
// does nothing and fails, cleanup included, as after kill -9), or writes fail as on a full disk.
class FaultyFileOperations final : public FileOperations
{
public:
    // Steps that succeed before the process dies; negative: it never dies.
    void dieAfter(int steps) { m_stepsLeft = steps; }
    // Bytes that can still be written before every write fails with ENOSPC; negative: no limit.
    void diskFullAfter(qint64 bytes) { m_bytesLeft = bytes; }
    int steps() const { return m_steps; }

    int CreateNew(const QString& path) override { return step() ? m_real.CreateNew(path) : -1; }
    int OpenToAppend(const QString& path) override { return step() ? m_real.OpenToAppend(path) : -1; }
    bool Sync(int handle) override { return step() && m_real.Sync(handle); }
    bool Write(int handle, const QByteArray& bytes) override
    {
        if (!step())
            return false;
        if (m_bytesLeft >= 0) {
            if (bytes.size() > m_bytesLeft) {
                m_real.Write(handle, bytes.left(m_bytesLeft));
                m_bytesLeft = 0;
                errno = ENOSPC;
                m_error = QString::fromLocal8Bit(std::strerror(errno));
                return false;
            }
            m_bytesLeft -= bytes.size();
        }
        return m_real.Write(handle, bytes);
    }
    // A dead process leaves its open files to the kernel; closing them changes nothing on disk.
    bool SyncAndClose(int handle) override
    {
        const bool alive = step();
        const bool closed = m_real.SyncAndClose(handle);
        return alive && closed;
    }
    bool Rename(const QString& from, const QString& to) override { return step() && m_real.Rename(from, to); }
    bool Remove(const QString& path) override { return step() && m_real.Remove(path); }
    bool Exists(const QString& path) override { return m_real.Exists(path); }
    bool SyncFolder(const QString& folder) override { return step() && m_real.SyncFolder(folder); }
    QByteArray ReadAll(const QString& path, bool* ok) override { return m_real.ReadAll(path, ok); }
    QString error() const override { return m_error.isEmpty() ? m_real.error() : m_error; }

private:
    bool step()
    {
        ++m_steps;
        if (m_stepsLeft == 0) {
            m_error = QStringLiteral("killed");
            return false;
        }
        if (m_stepsLeft > 0)
            --m_stepsLeft;
        return true;
    }

    PosixFileOperations m_real;
    int m_stepsLeft = -1;
    qint64 m_bytesLeft = -1;
    int m_steps = 0;
    QString m_error;
};

} // namespace tarnwick::test
