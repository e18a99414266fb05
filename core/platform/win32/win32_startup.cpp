#include "core/platform/startup.hpp"

// Winsock 2 must come before windows.h, which would bring in the old Winsock.
#include <winsock2.h>

#include <windows.h>

#include <boost/filesystem/path.hpp>

namespace vexa {

void startNetwork()
{
    // Its result is not looked at: a failure shows at the first socket operation.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

void installPathLocale(const std::locale& locale)
{
    // Windows paths start from the process's locale, never the environment's.
    boost::filesystem::path::imbue(locale);
}

} // namespace vexa
