#ifndef VELMORA_PLATFORM_CONSOLE_H
#define VELMORA_PLATFORM_CONSOLE_H

namespace Platform {

// Lets a command run from a terminal write to it. On Windows the program is a GUI program
// without a console of its own, so it takes the console of the terminal that started it;
// elsewhere standard output and error are already the terminal's. Standard streams that the
// caller closed are held on the null device, so that no file the command opens takes their
// place and receives what is printed.
void useStartingConsole();

// Whether everything printed to standard output reached it: false when it was closed, or a
// write to it failed (a full disk, a closed pipe).
bool standardOutputWritten();

} // namespace Platform

#endif
