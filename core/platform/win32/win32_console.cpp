#include "core/console.hpp"

#include <windows.h>

namespace vexa {

uint32_t writeConsole(const char* data, uint32_t size, int32_t) noexcept
{
    // A console handle can be neither non-blocking nor waited on with a time limit. What holds
    // a console on Windows is a selection in QuickEdit mode, which prepareConsole turns off;
    // a pipe that nobody reads can still hold the lines back, as it does every console program.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    uint32_t written = 0;
    while (written < size) {
        DWORD n = 0;
        if (!WriteFile(output, data + written, size - written, &n, nullptr) || n == 0)
            break;
        written += n;
    }
    return written;
}

} // namespace vexa
