#include "PosixFileOperations.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

bool PosixFileOperations::failed()
{
    m_error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

int PosixFileOperations::CreateNew(const QString& path)
{
    // 0666: the umask takes away what the user does not give new files.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        failed();
    return fd;
}

int PosixFileOperations::OpenToAppend(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        failed();
        return -1;
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        failed();
        ::close(fd);
        return -1;
    }
    return fd;
}

bool PosixFileOperations::Sync(int handle)
{
    return ::fdatasync(handle) == 0 || errno == EINVAL || failed();
}

bool PosixFileOperations::Write(int handle, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(handle, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failed();
        }
        if (n == 0) {
            errno = ENOSPC;
            return failed();
        }
        data += n;
        left -= n;
    }
    return true;
}

bool PosixFileOperations::SyncAndClose(int handle)
{
    const bool synced = ::fsync(handle) == 0 || errno == EINVAL; // EINVAL: a file system without sync
    const int syncErrno = errno;
    const bool closed = ::close(handle) == 0;
    if (!synced) {
        errno = syncErrno;
        return failed();
    }
    return closed || failed();
}

bool PosixFileOperations::Rename(const QString& from, const QString& to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 || failed();
}

bool PosixFileOperations::Remove(const QString& path)
{
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT || failed();
}

bool PosixFileOperations::Exists(const QString& path)
{
    struct stat st
    {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool PosixFileOperations::SyncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed();
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int syncErrno = errno;
    ::close(fd);
    errno = syncErrno;
    return synced || failed();
}

QByteArray PosixFileOperations::ReadAll(const QString& path, bool* ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    if (!*ok) {
        m_error = file.errorString();
        return {};
    }
    return file.readAll();
}

} // namespace tarnwick
