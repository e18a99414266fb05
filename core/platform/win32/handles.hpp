#pragma once

#include "core/platform/errors.hpp"
#include "core/platform/owned_handle.hpp"

// Winsock 2 must come before windows.h, which would bring in the old Winsock.
#include <winsock2.h>

#include <windows.h>

#include <string>

namespace vexa {

struct SocketTraits
{
    using Handle = SOCKET;
    using Exception = NetworkException;
    static SOCKET invalid() { return INVALID_SOCKET; }
    static int release(SOCKET socket) { return closesocket(socket) == 0 ? 0 : WSAGetLastError(); }
    static void raise(int error) { throwNetworkError(error); }
};

struct FileTraits
{
    using Handle = HANDLE;
    using Exception = FileException;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static int release(HANDLE file) { return CloseHandle(file) ? 0 : int(GetLastError()); }
    static void raise(int error) { throwFileError(error); }
};

using OwnedSocket = OwnedHandle<SocketTraits>;
using OwnedFile = OwnedHandle<FileTraits>;

// The wide name that the file calls take for narrow UTF-8 text, through the path conversion
// that initSystem makes UTF-8. Bytes that are no UTF-8 name no file: FILE_NOT_FOUND.
std::wstring wideName(const std::string& path);

} // namespace vexa
