#pragma once

#include "core/file.hpp"
#include "core/platform/posix/descriptor.hpp"

namespace vexa {

// File on POSIX descriptors. Made by openFile only.
class PosixFile : public File
{
public:
    explicit PosixFile(int descriptor);

    uint32_t read(char* buffer, uint32_t size) override;
    uint32_t write(const char* data, uint32_t size) override;
    void close() override;
    uint32_t getState() override;

    int64_t seek(int64_t offset, int32_t origin) override;
    int64_t resize(int64_t length) override;
    int64_t size() override;
    void flush() override;

private:
    FileDescriptor m_descriptor;
    uint32_t m_state;
};

} // namespace vexa
