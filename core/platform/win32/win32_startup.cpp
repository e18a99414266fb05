#include "core/console.hpp"
#include "core/modules.hpp"
#include "core/platform/startup.hpp"

// Winsock 2 must come before windows.h, which would bring in the old Winsock.
#include <winsock2.h>

#include <windows.h>

namespace vexa {

void startNetwork()
{
    // Its result is not looked at: a failure shows at the first socket operation.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

void prepareConsole()
{
    // Console lines are UTF-8 bytes as on Linux; a console shows them as such only with its
    // code page set, which output to a pipe or a file does not need.
    DWORD mode;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
    // With QuickEdit, selecting the address to copy it pauses the console, and the server
    // stalls at its next line until the selection ends.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(input, &mode))
        SetConsoleMode(input, (mode & ~DWORD(ENABLE_QUICK_EDIT_MODE)) | ENABLE_EXTENDED_FLAGS);
}

} // namespace vexa
