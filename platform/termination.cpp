#include "platform/termination.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Platform {

#ifdef Q_OS_UNIX

namespace {

// A signal handler may do almost nothing; it writes one byte into a socket that the event
// loop watches, and the GUI thread does the rest.
int wakeFds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t ignored = ::write(wakeFds[0], &byte, 1);
    (void)ignored;
}

} // namespace

TerminationRequests::TerminationRequests() : QObject(QCoreApplication::instance())
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, wakeFds) != 0)
        return;
    auto *notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        const ssize_t ignored = ::read(wakeFds[1], &byte, 1);
        (void)ignored;
        emit requested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

#else

TerminationRequests::TerminationRequests() : QObject(QCoreApplication::instance()) {}

#endif

void endNow(int status)
{
    std::fflush(nullptr);
#ifdef Q_OS_WIN
    TerminateProcess(GetCurrentProcess(), UINT(status));
#endif
    std::_Exit(status);
}

TerminationRequests *TerminationRequests::instance()
{
    static TerminationRequests *requests = new TerminationRequests;
    return requests;
}

} // namespace Platform
