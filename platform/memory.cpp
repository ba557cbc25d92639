#include "platform/memory.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <QByteArray>
#include <QFile>
#endif

namespace Platform {

#if defined(Q_OS_WIN)

qint64 availableMemory()
{
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status))
        return -1;
    // A 32-bit process is bounded by its own address space as well.
    return qint64(qMin(status.ullAvailPhys, status.ullAvailVirtual));
}

#elif defined(Q_OS_LINUX)

qint64 availableMemory()
{
    QFile info(QStringLiteral("/proc/meminfo"));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : info.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

#else

qint64 availableMemory()
{
    return -1;
}

#endif

} // namespace Platform
