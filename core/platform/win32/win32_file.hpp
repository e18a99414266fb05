#pragma once

#include "core/platform/handle_device.hpp"
#include "core/platform/win32/handles.hpp"

namespace vexa {

// File on Win32 file handles. Made by openFile only.
class Win32File : public HandleFile<OwnedFile>
{
public:
    using HandleFile::HandleFile;

    int64_t seek(int64_t offset, int32_t origin) override;
    int64_t resize(int64_t length) override;
    int64_t size() override;
    void flush() override;

private:
    uint32_t readPiece(char* buffer, uint32_t size) override;
    uint32_t writePiece(const char* data, uint32_t size) override;
};

} // namespace vexa
