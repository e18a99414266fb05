#include "core/console_output.hpp"

#include <windows.h>

namespace vexa {

void prepareConsole()
{
    // Console lines are UTF-8 bytes as on Linux; a console shows them as such only with its
    // code page set, which output to a pipe or a file does not need.
    DWORD mode;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
    // With QuickEdit, selecting the address to copy it pauses the console's output.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &mode))
        SetConsoleMode(input, (mode & ~DWORD(ENABLE_QUICK_EDIT_MODE)) | ENABLE_EXTENDED_FLAGS);
}

uint32_t writeConsole(const char* data, uint32_t size) noexcept
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return size;
    uint32_t written = 0;
    while (written < size) {
        DWORD n = 0;
        if (!WriteFile(output, data + written, size - written, &n, nullptr) || n == 0)
            break;
        written += n;
    }
    return written;
}

bool consoleIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool ownsConsoleAlone()
{
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void waitForEnter()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD n = 0;
    while (c != '\n' && ReadFile(input, &c, 1, &n, nullptr) && n == 1) {
    }
}

} // namespace vexa
