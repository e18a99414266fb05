#pragma once

#include "core/file.hpp"
#include "core/platform/win32/handles.hpp"

namespace vexa {

// File on Win32 file handles. Made by openFile only.
class Win32File : public File
{
public:
    explicit Win32File(HANDLE file);

    uint32_t read(char* buffer, uint32_t size) override;
    uint32_t write(const char* data, uint32_t size) override;
    void close() override;
    uint32_t getState() override;

    int64_t seek(int64_t offset, int32_t origin) override;
    int64_t resize(int64_t length) override;
    int64_t size() override;
    void flush() override;

private:
    FileHandle m_file;
    uint32_t m_state;
};

} // namespace vexa
