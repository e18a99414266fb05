#pragma once

// Platform error numbers and the library's codes: errno on POSIX, WSAGetLastError() and
// GetLastError() on Windows. Each platform folder holds the two tables.

#include <cstddef>
#include <cstdint>

namespace vexa {

// What a lookup gives for the error number 0: no failure, nothing to raise.
const int32_t NO_FAILURE = -1;

struct ErrorRow
{
    int error;
    int32_t code;
};

// The code of a number in a table; a number the table does not list is given otherwise.
template <std::size_t N>
int32_t lookupError(const ErrorRow (&table)[N], int error, int32_t otherwise)
{
    if (error == 0)
        return NO_FAILURE;
    for (const ErrorRow& row : table) {
        if (row.error == error)
            return row.code;
    }
    return otherwise;
}

// The code a platform error number maps to, or NO_FAILURE for 0. The platform's tables.
int32_t networkErrorCode(int error);
int32_t fileErrorCode(int error);

// The calling thread's last platform error number, read right after the failed call.
int lastNetworkError();
int lastFileError();

// Raise the exception with the mapped code; 0 raises nothing.
void throwNetworkError(int error);
void throwFileError(int error);

} // namespace vexa
