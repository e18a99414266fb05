#pragma once

#include <cstdint>

namespace vexa {

// Readies the process's console for a server that runs until it is stopped: standard input,
// output and error that were closed are opened on the null device (without one, held by a
// descriptor that takes no writes), so that no socket or file takes their numbers and receives
// console text; a reader of its output that goes away must not end the process; what it
// prints must show as UTF-8.
void prepareConsole();

// Writes to the process's standard output and waits as long as it takes. Returns how many
// bytes went out: all of them, or fewer when the output failed. Without a standard output
// (none was given) the bytes are dropped as if written.
uint32_t writeConsole(const char* data, uint32_t size) noexcept;

// Whether standard output is a terminal, or a console window on Windows: a person reads it,
// not a pipe, a file or a journal.
bool consoleIsTerminal();

// Whether the process is the only one on its console: a console window that was opened for it
// alone (double-clicked) and closes when it exits.
bool ownsConsoleAlone();
// Waits until the user presses Enter on the console, or its input ends.
void waitForEnter();

} // namespace vexa
