#pragma once

#include "core/object.hpp"

#include <cstdint>

namespace vexa {

class File;

// An abstract byte stream: sockets and files.
class IODevice : public Object
{
public:
    enum State : uint32_t {
        OPEN = 1,
        END_OF_STREAM = 2,
    };

    virtual uint32_t read(char* buffer, uint32_t size) = 0;
    virtual uint32_t write(const char* data, uint32_t size) = 0;
    virtual void close() = 0;
    virtual uint32_t getState() = 0;

    // Writes up to size bytes of the file from its position on, which moves past those that
    // went, and returns how many: at least one, or 0 at the end of the file. Here one write()
    // takes at most 4096 bytes read into a buffer, and the file goes back over what it did
    // not take; a socket may send from the system's file cache instead, without the copy.
    virtual uint32_t writeFrom(File& file, uint32_t size);
};

// Writes every byte, however many writes it takes. A write that takes none raises
// NetworkException NETWORK_ERROR: a blocking device takes a byte or raises, so it would wait
// for ever.
void writeAll(IODevice& device, const char* data, uint32_t size);

} // namespace vexa
