#pragma once

#include "core/iodevice.hpp"

#include <string>
#include <vector>

namespace vexa {

// Reads trimmed text lines from a device through a fixed buffer, one device read per refill.
class BufferedReader
{
public:
    // A peer that never sends a line feed must not grow memory without end.
    static const int32_t MAX_LINE_LENGTH = 8192;

    // The flag is accepted for callers that pass one; nothing reads it, so it is not kept.
    BufferedReader(Pointer<IODevice> device, bool flag, int32_t bufferSize);

    std::string readLine();
    void refill();

private:
    Pointer<IODevice> m_device;
    std::vector<char> m_buffer;
    int32_t m_position;
    int32_t m_limit;
};

} // namespace vexa
