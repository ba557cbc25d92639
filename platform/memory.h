#ifndef VELMORA_PLATFORM_MEMORY_H
#define VELMORA_PLATFORM_MEMORY_H

#include <QtGlobal>

namespace Platform {

// Bytes of memory the system can give this process now without swapping, or -1 when the
// system does not say.
qint64 availableMemory();

} // namespace Platform

#endif
