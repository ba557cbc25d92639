#ifndef VELMORA_PLATFORM_MEMORY_H
#define VELMORA_PLATFORM_MEMORY_H

#include <QtGlobal>

namespace Platform {

// Bytes of memory the system can give this process now without swapping, or -1 when the
// system does not say.
qint64 availableMemory();

// Bytes of physical memory the machine has, or -1 when the system does not say.
qint64 physicalMemory();

// Bytes this process can still take: the memory available, and no more than is left below
// its address-space limit when it has one. -1 when neither is known.
qint64 memoryForNewData();

} // namespace Platform

#endif
