// How Winsock and Win32 error numbers stand for the library's error codes.
#include "core/exceptions.hpp"
#include "core/platform/win32/handles.hpp"

namespace vexa {

namespace {

// Winsock error -> NetworkException code; every other number is NETWORK_ERROR, would-block
// (WSAEWOULDBLOCK) and host unreachable (WSAEHOSTUNREACH) among them.
// One row a line, as a table reads.
// clang-format off
const ErrorRow networkTable[] = {
    {WSAEACCES, NetworkException::ACCESS_DENIED},
    {WSAEADDRINUSE, NetworkException::ADDRESS_IN_USE},
    {WSAENETUNREACH, NetworkException::UNREACHABLE},
    {WSAECONNABORTED, NetworkException::CONNECTION_ABORTED},
    {WSAECONNRESET, NetworkException::CONNECTION_CLOSED},
    {WSAESHUTDOWN, NetworkException::SHUTDOWN},
    {WSAECONNREFUSED, NetworkException::CONNECTION_REFUSED},
};

// Win32 error -> FileException code; every other number is IO_ERROR, ERROR_PATH_NOT_FOUND
// (a directory on the way is missing) among them.
const ErrorRow fileTable[] = {
    {ERROR_FILE_NOT_FOUND, FileException::FILE_NOT_FOUND},
    {ERROR_ACCESS_DENIED, FileException::ACCESS_DENIED},
    {ERROR_SHARING_VIOLATION, FileException::ACCESS_DENIED},
    {ERROR_LOCK_VIOLATION, FileException::ACCESS_DENIED},
    {ERROR_INVALID_HANDLE, FileException::INVALID_HANDLE},
    {ERROR_HANDLE_DISK_FULL, FileException::DISK_FULL},
    {ERROR_DISK_FULL, FileException::DISK_FULL},
    {ERROR_SEEK, FileException::SEEK_ERROR},
};
// clang-format on

} // namespace

int32_t networkErrorCode(int error)
{
    return lookupError(networkTable, error, NetworkException::NETWORK_ERROR);
}

int32_t fileErrorCode(int error)
{
    return lookupError(fileTable, error, FileException::IO_ERROR);
}

int lastNetworkError()
{
    return WSAGetLastError();
}

int lastFileError()
{
    return int(GetLastError());
}

} // namespace vexa
