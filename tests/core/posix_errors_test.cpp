#include "core/exceptions.hpp"
#include "core/platform/errors.hpp"

#include <gtest/gtest.h>

#include <cerrno>

using namespace vexa;

TEST(PosixErrors, NetworkErrorsMapToTheirCodes)
{
    EXPECT_EQ(networkErrorCode(0), NO_FAILURE);
    EXPECT_EQ(networkErrorCode(EACCES), NetworkException::ACCESS_DENIED);
    EXPECT_EQ(networkErrorCode(EPERM), NetworkException::ACCESS_DENIED);
    EXPECT_EQ(networkErrorCode(EADDRINUSE), NetworkException::ADDRESS_IN_USE);
    EXPECT_EQ(networkErrorCode(ENETUNREACH), NetworkException::UNREACHABLE);
    EXPECT_EQ(networkErrorCode(ECONNREFUSED), NetworkException::CONNECTION_REFUSED);
    EXPECT_EQ(networkErrorCode(ECONNABORTED), NetworkException::CONNECTION_ABORTED);
    EXPECT_EQ(networkErrorCode(ECONNRESET), NetworkException::CONNECTION_CLOSED);
    EXPECT_EQ(networkErrorCode(EPIPE), NetworkException::CONNECTION_CLOSED);
    EXPECT_EQ(networkErrorCode(ESHUTDOWN), NetworkException::SHUTDOWN);
    // Host unreachable and would-block are deliberately not in the table.
    for (int other : {EHOSTUNREACH, EAGAIN, ETIMEDOUT, EBADF, 99999})
        EXPECT_EQ(networkErrorCode(other), NetworkException::NETWORK_ERROR) << other;
}

TEST(PosixErrors, FileErrorsMapToTheirCodes)
{
    EXPECT_EQ(fileErrorCode(0), NO_FAILURE);
    EXPECT_EQ(fileErrorCode(ENOENT), FileException::FILE_NOT_FOUND);
    EXPECT_EQ(fileErrorCode(EACCES), FileException::ACCESS_DENIED);
    EXPECT_EQ(fileErrorCode(EPERM), FileException::ACCESS_DENIED);
    EXPECT_EQ(fileErrorCode(EBADF), FileException::INVALID_HANDLE);
    EXPECT_EQ(fileErrorCode(ENOSPC), FileException::DISK_FULL);
    EXPECT_EQ(fileErrorCode(EDQUOT), FileException::DISK_FULL);
    // A missing directory on the way and a negative seek are plain input/output errors.
    for (int other : {ENOTDIR, EINVAL, EIO, 99999})
        EXPECT_EQ(fileErrorCode(other), FileException::IO_ERROR) << other;
}

TEST(PosixErrors, NoLastErrorRaisesNothing)
{
    errno = 0;
    EXPECT_NO_THROW(throwLastNetworkError());
    EXPECT_NO_THROW(throwLastFileError());
    errno = ECONNRESET;
    try {
        throwLastNetworkError();
        FAIL() << "nothing raised";
    } catch (const NetworkException& e) {
        EXPECT_EQ(e.code, NetworkException::CONNECTION_CLOSED);
    }
    errno = ENOSPC;
    try {
        throwLastFileError();
        FAIL() << "nothing raised";
    } catch (const FileException& e) {
        EXPECT_EQ(e.code, FileException::DISK_FULL);
    }
}
