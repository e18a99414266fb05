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

} // namespace vexa
