#pragma once

#include <cstdint>

namespace vexa {

// Readies the process's console for a server that runs until it is stopped: a reader of its
// output that goes away must not end it, and what it prints must show as UTF-8.
void prepareConsole();

// Writes to the process's standard output, waiting at most waitMillis for it to take the bytes:
// a console that stops taking output (a pipe nobody reads, a terminal paused with Ctrl+S) must
// not hold the caller for ever. Returns how many bytes went out: all of them, or fewer when the
// time ran out or the output failed. Standard output itself stays blocking, as the shell that
// shares it expects.
uint32_t writeConsole(const char* data, uint32_t size, int32_t waitMillis) noexcept;

} // namespace vexa
