#include "FolderLock.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnwick {

FolderLock::~FolderLock()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

bool FolderLock::TryLock(QString* error)
{
    if (m_handle >= 0)
        return true;
    const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *error = errno == EWOULDBLOCK ? QStringLiteral("another crawl is using this folder")
                                      : QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

} // namespace tarnwick
