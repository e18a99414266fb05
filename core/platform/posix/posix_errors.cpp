// How errno values stand for the library's error codes; the one place where they meet.
#include "core/exceptions.hpp"
#include "core/platform/posix/descriptor.hpp"

#include <cerrno>
#include <unistd.h>

namespace vexa {

namespace {

// errno -> NetworkException code; every other number is NETWORK_ERROR, EAGAIN and
// EHOSTUNREACH among them. EPIPE means the peer is gone; a write after our own shutdown()
// is looked up as ESHUTDOWN by the socket.
// One row a line, as a table reads.
// clang-format off
const ErrorRow networkTable[] = {
    {EACCES, NetworkException::ACCESS_DENIED},
    {EPERM, NetworkException::ACCESS_DENIED},
    {EADDRINUSE, NetworkException::ADDRESS_IN_USE},
    {ENETUNREACH, NetworkException::UNREACHABLE},
    {ECONNREFUSED, NetworkException::CONNECTION_REFUSED},
    {ECONNABORTED, NetworkException::CONNECTION_ABORTED},
    {ECONNRESET, NetworkException::CONNECTION_CLOSED},
    {EPIPE, NetworkException::CONNECTION_CLOSED},
    {ESHUTDOWN, NetworkException::SHUTDOWN},
};

// errno -> FileException code; every other number is IO_ERROR. ENOTDIR stands for "path not
// found" (a directory on the way is missing or is a file), so it is one of those.
const ErrorRow fileTable[] = {
    {ENOENT, FileException::FILE_NOT_FOUND},
    {EACCES, FileException::ACCESS_DENIED},
    {EPERM, FileException::ACCESS_DENIED},
    {EISDIR, FileException::ACCESS_DENIED},
    {ETXTBSY, FileException::ACCESS_DENIED}, // a running program: held without sharing
    {EBADF, FileException::INVALID_HANDLE},
    {ENOSPC, FileException::DISK_FULL},
    {EDQUOT, FileException::DISK_FULL},
    {ESPIPE, FileException::SEEK_ERROR},
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
    return errno;
}

int lastFileError()
{
    return errno;
}

int closeDescriptor(int descriptor)
{
    return ::close(descriptor) == 0 || errno == EINTR ? 0 : errno;
}

} // namespace vexa
