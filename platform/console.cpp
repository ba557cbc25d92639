#include "platform/console.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <cstdio>
#endif

#include <QtGlobal>

namespace Platform {

void useStartingConsole()
{
#ifdef Q_OS_WIN
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
}

} // namespace Platform
