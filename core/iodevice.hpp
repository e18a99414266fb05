#pragma once

#include "core/object.hpp"

#include <cstdint>

namespace vexa {

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
};

} // namespace vexa
