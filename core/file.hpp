#pragma once

#include "core/iodevice.hpp"

#include <string>

namespace vexa {

class File : public IODevice
{
public:
    enum SeekOrigin : int32_t {
        BEGIN = 0,
        CURRENT = 1,
        END = 2,
    };
    enum Mode : int32_t {
        READ = 1,
        WRITE = 2,
        TRUNCATE = 16,
    };

    virtual int64_t seek(int64_t offset, int32_t origin) = 0;
    virtual int64_t resize(int64_t length) = 0;
    virtual int64_t size() = 0;
    virtual void flush() {}
    // The descriptor that a socket hands to the system to send the file straight from the
    // file cache; -1 for a file that has none (a test's), which goes through a buffer.
    virtual int cacheDescriptor() { return -1; }
};

// The path is narrow UTF-8 text: POSIX takes its bytes as they are, Windows its wide form.
Pointer<File> openFile(const std::string& path, int32_t mode);

// Whether the system takes one element of a path (the UTF-8 text between two '/') for the
// file of exactly that name. Windows does not for some: device names (CON, NUL, COM1, ...,
// with any extension), ':' (drives, streams), '\' (a separator), wildcards and control
// bytes, names that end in a dot or a space, which it strips ('.. ' is '..'), and bytes that
// are no UTF-8.
bool opensAsWritten(const std::string& element);

// Raises the FileException for a failure that the path library reports by the system's own
// error number (its error code's value), which maps as the file calls' numbers do.
[[noreturn]] void throwPathError(int error);

} // namespace vexa
