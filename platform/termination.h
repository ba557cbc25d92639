#ifndef VELMORA_PLATFORM_TERMINATION_H
#define VELMORA_PLATFORM_TERMINATION_H

#include <QObject>

namespace Platform {

// Tells the GUI thread when the system asks the program to end: SIGTERM, SIGHUP or SIGINT on
// Unix (a logout, `kill`, Ctrl+C in a terminal). On other systems it never fires.
class TerminationRequests : public QObject
{
    Q_OBJECT

public:
    // The one instance, made on first use, which must be on the GUI thread.
    static TerminationRequests *instance();

signals:
    void requested();

private:
    TerminationRequests();
};

// Ends the process now with `status`, without waiting for work left on other threads (a
// decoder that can't be stopped) and without running destructors. Standard output and error
// are flushed first.
[[noreturn]] void endNow(int status);

} // namespace Platform

#endif
