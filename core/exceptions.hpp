#pragma once

#include <cstdint>
#include <exception>

namespace vexa {

class NetworkException : public std::exception
{
public:
    enum Code : int32_t {
        NETWORK_ERROR,
        UNKNOWN_HOST,
        ACCESS_DENIED,
        ADDRESS_IN_USE,
        UNREACHABLE,
        CONNECTION_REFUSED,
        CONNECTION_ABORTED,
        CONNECTION_CLOSED,
        SHUTDOWN,
        CLOSED,
    };
    explicit NetworkException(int32_t errorCode) : code(errorCode) {}
    const char* what() const noexcept override;
    int32_t code;
};

class FileException : public std::exception
{
public:
    enum Code : int32_t {
        IO_ERROR,
        FILE_NOT_FOUND,
        ACCESS_DENIED,
        INVALID_HANDLE,
        DISK_FULL,
        SEEK_ERROR,
        CLOSED,
    };
    explicit FileException(int32_t errorCode) : code(errorCode) {}
    const char* what() const noexcept override;
    int32_t code;
};

class DataException : public std::exception
{
public:
    enum Code : int32_t {
        UNKNOWN_FORMAT,
        FORMAT_NOT_SUPPORTED,
        UNKNOWN_VERSION,
        DATA_CORRUPT,
        UNEXPECTED_END_OF_FILE,
    };
    explicit DataException(int32_t errorCode) : code(errorCode) {}
    const char* what() const noexcept override;
    int32_t code;
};

// Both read the calling thread's errno right after a failed system call; 0 raises nothing.
void throwLastNetworkError();
void throwLastFileError();

// The code an errno value maps to, or -1 for 0 (no error). Also for the system error numbers
// that the path library reports.
int32_t networkErrorCode(int error);
int32_t fileErrorCode(int error);

} // namespace vexa
