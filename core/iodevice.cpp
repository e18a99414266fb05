#include "core/iodevice.hpp"

#include "core/exceptions.hpp"
#include "core/file.hpp"

namespace vexa {

uint32_t IODevice::writeFrom(File& file, uint32_t size)
{
    char buffer[4096];
    uint32_t got = file.read(buffer, size < sizeof buffer ? size : uint32_t(sizeof buffer));
    if (got == 0)
        return 0;
    uint32_t took = write(buffer, got);
    // None taken would pass for the end of the file.
    if (took == 0 || took > got)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    if (took < got)
        file.seek(int64_t(took) - int64_t(got), File::CURRENT);
    return took;
}

void writeAll(IODevice& device, const char* data, uint32_t size)
{
    while (size > 0) {
        uint32_t written = device.write(data, size);
        if (written == 0 || written > size)
            throw NetworkException(NetworkException::NETWORK_ERROR);
        data += written;
        size -= written;
    }
}

} // namespace vexa
