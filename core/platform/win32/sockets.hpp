#pragma once

// The system's socket headers, by the name that the shared platform sources include, and the
// socket handle the shared code owns. Winsock 2 must come before windows.h, which would bring
// in the old Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "core/platform/win32/handles.hpp"
