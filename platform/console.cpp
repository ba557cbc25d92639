#include "platform/console.h"

#include <QtGlobal>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Platform {

namespace {

bool outputClosed = false;

} // namespace

void useStartingConsole()
{
#ifdef Q_OS_WIN
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#else
    // The system gives a new file the lowest free number: with standard output closed, the
    // first file written would become standard output.
    for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        if (stream == STDOUT_FILENO)
            outputClosed = true;
        const int held = ::open("/dev/null", stream == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (held >= 0 && held != stream) {
            ::dup2(held, stream);
            ::close(held);
        }
    }
#endif
}

bool standardOutputWritten()
{
    return std::fflush(stdout) == 0 && !std::ferror(stdout) && !outputClosed;
}

} // namespace Platform
