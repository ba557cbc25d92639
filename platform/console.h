#ifndef VELMORA_PLATFORM_CONSOLE_H
#define VELMORA_PLATFORM_CONSOLE_H

namespace Platform {

// Lets a command run from a terminal write to it. On Windows the program is a GUI program
// without a console of its own, so it takes the console of the terminal that started it;
// elsewhere standard output and error are already the terminal's.
void useStartingConsole();

} // namespace Platform

#endif
