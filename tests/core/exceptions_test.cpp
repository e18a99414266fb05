#include "core/exceptions.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

using namespace vexa;

namespace {

// The text a handler that only knows std::exception would print.
template <class E> std::string textThroughBase(int32_t code)
{
    try {
        throw E(code);
    } catch (const std::exception& e) {
        return e.what();
    }
}

template <class E> std::vector<std::string> allTexts(int32_t count)
{
    std::vector<std::string> texts;
    for (int32_t code = 0; code < count; ++code)
        texts.push_back(textThroughBase<E>(code));
    return texts;
}

} // namespace

TEST(Exceptions, EachClassHasItsOwnFixedTable)
{
    EXPECT_EQ(allTexts<NetworkException>(10),
              (std::vector<std::string>{"network error", "unknown host", "access denied",
                                        "address in use", "unreachable", "connection refused",
                                        "connection aborted", "connection closed by peer",
                                        "shutdown", "closed"}));
    EXPECT_EQ(allTexts<FileException>(7),
              (std::vector<std::string>{"input/output error", "file not found", "access denied",
                                        "invalid handle", "disk full", "seek error", "closed"}));
    EXPECT_EQ(allTexts<DataException>(5),
              (std::vector<std::string>{"unknown format", "format not supported", "unknown version",
                                        "data corrupt", "unexpected end of file"}));
    EXPECT_EQ(NetworkException::CLOSED, 9);
    EXPECT_EQ(FileException::CLOSED, 6);
    EXPECT_EQ(DataException::UNEXPECTED_END_OF_FILE, 4);
}

TEST(Exceptions, NetworkErrorsMapToTheirCodes)
{
    EXPECT_EQ(networkErrorCode(0), -1);
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

TEST(Exceptions, FileErrorsMapToTheirCodes)
{
    EXPECT_EQ(fileErrorCode(0), -1);
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

TEST(Exceptions, NoLastErrorRaisesNothing)
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
