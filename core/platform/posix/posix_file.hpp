#pragma once

#include "core/platform/handle_device.hpp"
#include "core/platform/posix/descriptor.hpp"

namespace vexa {

// File on POSIX descriptors. Made by openFile only.
class PosixFile : public HandleFile<OwnedFile>
{
public:
    using HandleFile::HandleFile;

    int64_t seek(int64_t offset, int32_t origin) override;
    int64_t resize(int64_t length) override;
    int64_t size() override;
    void flush() override;
    int cacheDescriptor() override { return m_handle.get(); }

private:
    uint32_t readPiece(char* buffer, uint32_t size) override;
    uint32_t writePiece(const char* data, uint32_t size) override;
};

} // namespace vexa
