// How errno values stand for the library's error codes; the one place where they meet.
#include "core/exceptions.hpp"

#include <cerrno>

namespace vexa {

namespace {

struct ErrorRow
{
    int error;
    int32_t code;
};

// errno -> NetworkException code. Everything not listed is NETWORK_ERROR, EAGAIN and
// EHOSTUNREACH among them. EPIPE means the peer is gone; a write after our own shutdown()
// is reported as ESHUTDOWN by the socket before it gets here.
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

// errno -> FileException code. ENOTDIR stands for "path not found" (a directory on the way
// is missing or is a file), so it stays IO_ERROR like everything else not listed.
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

template <std::size_t N> int32_t lookup(const ErrorRow (&table)[N], int error)
{
    if (error == 0)
        return -1;
    for (const ErrorRow& row : table) {
        if (row.error == error)
            return row.code;
    }
    return 0;
}

} // namespace

int32_t networkErrorCode(int error)
{
    return lookup(networkTable, error);
}

int32_t fileErrorCode(int error)
{
    return lookup(fileTable, error);
}

void throwLastNetworkError()
{
    int32_t code = networkErrorCode(errno);
    if (code >= 0)
        throw NetworkException(code);
}

void throwLastFileError()
{
    int32_t code = fileErrorCode(errno);
    if (code >= 0)
        throw FileException(code);
}

} // namespace vexa
