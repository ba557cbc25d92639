#ifndef VELMORA_CLI_COMMANDLINE_H
#define VELMORA_CLI_COMMANDLINE_H

#include <QStringList>

class QTextStream;

// The command line for pipelines: `velmora export` and `velmora stats`, run without a
// display and without a window.
namespace CommandLine {

// Exit statuses.
constexpr int allWell = 0;
constexpr int someFailed = 1;
constexpr int wrongUsage = 2;

// Whether the program's arguments (the first is the program) name a command.
bool isCommand(const QStringList &arguments);

// Runs the command; `out` gets the results, `err` progress and messages. Returns the exit
// status.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

// Runs the command on the terminal's standard output and error (after
// Platform::useStartingConsole()); output that could not be
// written (standard output closed, a full disk) makes the status at least someFailed.
int runInTerminal(const QStringList &arguments);

} // namespace CommandLine

#endif
