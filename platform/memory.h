#ifndef VELMORA_PLATFORM_MEMORY_H
#define VELMORA_PLATFORM_MEMORY_H

#include <QtGlobal>

#include <cstddef>

namespace Platform {

// Bytes of memory the system can give this process now without swapping, or -1 when the
// system does not say.
qint64 availableMemory();

// Bytes of physical memory the machine has, or -1 when the system does not say.
qint64 physicalMemory();

// Bytes this process can still take: the memory available, and no more than is left below
// its address-space limit when it has one. -1 when neither is known.
qint64 memoryForNewData();

// Lets every block of picture size go back to the system as soon as it is freed. Without
// it the allocator may keep serving such blocks from its own heaps after a first one is
// freed, and memory freed there (a decoded mask file, a closed picture) stays with the
// process. Also keeps the allocator to two heaps, whatever the number of threads. Called
// once, first thing.
void returnBigBlocksWhenFreed();

// The opposite, for a process that works through many pictures of one size in turn (the
// command line): freed blocks of picture size stay with the process for the next picture,
// instead of going back to the system and being faulted in again, page by page.
void keepBigBlocksForReuse();

// A block of `bytes` that is about to be written whole, freed with std::free; null when the
// memory can't be had. Where the system offers it, a big block comes in huge pages, so
// filling it takes a fraction of the page faults.
void *blockToFill(size_t bytes);

} // namespace Platform

#endif
