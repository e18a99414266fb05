#include "core/exceptions.hpp"
#include "core/platform/errors.hpp"
#include "tests/support/failure.hpp"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <windows.h>

using namespace vexa;
using harnow_test::failureCode;

TEST(Win32Errors, WinsockNumbersMapToTheirCodes)
{
    const std::pair<int, int32_t> rows[] = {
        {0, NO_FAILURE},
        {WSAEACCES, NetworkException::ACCESS_DENIED},
        {WSAEADDRINUSE, NetworkException::ADDRESS_IN_USE},
        {WSAENETUNREACH, NetworkException::UNREACHABLE},
        {WSAECONNABORTED, NetworkException::CONNECTION_ABORTED},
        {WSAECONNRESET, NetworkException::CONNECTION_CLOSED},
        {WSAESHUTDOWN, NetworkException::SHUTDOWN},
        {WSAECONNREFUSED, NetworkException::CONNECTION_REFUSED},
        // Host unreachable, would-block and time-outs are deliberately not in the table.
        {WSAEHOSTUNREACH, NetworkException::NETWORK_ERROR},
        {WSAEWOULDBLOCK, NetworkException::NETWORK_ERROR},
        {WSAETIMEDOUT, NetworkException::NETWORK_ERROR},
        {WSANOTINITIALISED, NetworkException::NETWORK_ERROR},
        {99999, NetworkException::NETWORK_ERROR},
    };
    for (const auto& row : rows)
        EXPECT_EQ(networkErrorCode(row.first), row.second) << row.first;
}

TEST(Win32Errors, Win32NumbersMapToTheirCodes)
{
    const std::pair<int, int32_t> rows[] = {
        {0, NO_FAILURE},
        {ERROR_FILE_NOT_FOUND, FileException::FILE_NOT_FOUND},
        {ERROR_ACCESS_DENIED, FileException::ACCESS_DENIED},
        {ERROR_SHARING_VIOLATION, FileException::ACCESS_DENIED},
        {ERROR_LOCK_VIOLATION, FileException::ACCESS_DENIED},
        {ERROR_INVALID_HANDLE, FileException::INVALID_HANDLE},
        {ERROR_HANDLE_DISK_FULL, FileException::DISK_FULL},
        {ERROR_DISK_FULL, FileException::DISK_FULL},
        {ERROR_SEEK, FileException::SEEK_ERROR},
        // A missing directory on the way and a negative seek are plain input/output errors.
        {ERROR_PATH_NOT_FOUND, FileException::IO_ERROR},
        {ERROR_NEGATIVE_SEEK, FileException::IO_ERROR},
        {99999, FileException::IO_ERROR},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fileErrorCode(row.first), row.second) << row.first;
}

TEST(Win32Errors, TheThreadsLastErrorRaisesItsCodeAndNoErrorRaisesNothing)
{
    WSASetLastError(0);
    EXPECT_NO_THROW(throwLastNetworkError());
    SetLastError(0);
    EXPECT_NO_THROW(throwLastFileError());
    WSASetLastError(WSAECONNRESET);
    EXPECT_EQ(failureCode<NetworkException>([] { throwLastNetworkError(); }),
              NetworkException::CONNECTION_CLOSED);
    SetLastError(ERROR_DISK_FULL);
    EXPECT_EQ(failureCode<FileException>([] { throwLastFileError(); }), FileException::DISK_FULL);
}
