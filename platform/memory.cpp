#include "platform/memory.h"

#include <cstdlib>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <QByteArray>
#include <QFile>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
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

qint64 physicalMemory()
{
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    return GlobalMemoryStatusEx(&status) ? qint64(status.ullTotalPhys) : -1;
}

#elif defined(Q_OS_LINUX)

qint64 physicalMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : -1;
}

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

// Bytes below the address-space limit not yet mapped; -1 without a limit.
qint64 addressSpaceLeft()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const qint64 mapped = statm.readAll().split(' ').first().toLongLong() * sysconf(_SC_PAGESIZE);
    return qMax<qint64>(0, qint64(limit.rlim_cur) - mapped);
}

#else

qint64 physicalMemory()
{
    return -1;
}

qint64 availableMemory()
{
    return -1;
}

#endif

void returnBigBlocksWhenFreed()
{
#if defined(Q_OS_LINUX)
    // A fixed threshold: glibc otherwise raises it up to 32 MiB after each big free.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // Each thread that allocates would otherwise get a heap of its own, 64 MiB of address
    // space each (up to eight a core): under an address-space limit they take what a big
    // picture needs. Pixels come from mmap past the threshold, so two heaps serve the rest.
    mallopt(M_ARENA_MAX, 2);
#endif
}

void keepBigBlocksForReuse()
{
#if defined(Q_OS_LINUX)
    // glibc's highest threshold; heaps shrink only past a quarter gigabyte left free on top.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}

void *blockToFill(size_t bytes)
{
#if defined(Q_OS_LINUX)
    constexpr size_t hugePage = size_t(2) << 20;
    void *block = nullptr;
    if (bytes >= 4 * hugePage && posix_memalign(&block, hugePage, bytes) == 0) {
        madvise(block, bytes, MADV_HUGEPAGE); // a hint; without it the block still works
        return block;
    }
#endif
    return std::malloc(bytes);
}

qint64 memoryForNewData()
{
    const qint64 available = availableMemory();
#if defined(Q_OS_LINUX)
    const qint64 left = addressSpaceLeft();
    if (left >= 0)
        return available >= 0 ? qMin(available, left) : left;
#endif
    return available;
}

} // namespace Platform
