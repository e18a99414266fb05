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
};

// The path is the native narrow (UTF-8) string, passed to the system unchanged.
Pointer<File> openFile(const std::string& path, int32_t mode);

} // namespace vexa
