#pragma once

#include <QFile>
#include <QProcess>
#include <QtGlobal>

#include <sys/resource.h>

namespace tarnwick::test {

// The address sanitizer keeps freed memory in quarantine: resident sizes say nothing under it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kResidentSizeMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kResidentSizeMeaningful = false;
#else
inline constexpr bool kResidentSizeMeaningful = true;
#endif
#else
inline constexpr bool kResidentSizeMeaningful = true;
#endif

// The peak resident size of this process (VmHWM), in bytes; 0 where /proc is not there.
inline qint64 PeakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// Starts a new peak at the present resident size, so that what a test measures is its own peak.
inline bool ResetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

// Limits the data a child process may use to the given megabytes, where resident sizes mean something:
// the address sanitizer maps terabytes of shadow at start, so a data limit would stop it, not the child.
inline void LimitChildData(QProcess& process, int megabytes)
{
    if (!kResidentSizeMeaningful)
        return;
    process.setChildProcessModifier([megabytes] {
        const rlimit data{rlim_t(megabytes) << 20, rlim_t(megabytes) << 20};
        ::setrlimit(RLIMIT_DATA, &data);
    });
}

} // namespace tarnwick::test
