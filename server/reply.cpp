#include "server/reply.hpp"

#include "core/exceptions.hpp"

void writeAll(vexa::IODevice& connection, const char* data, uint32_t size)
{
    while (size > 0) {
        uint32_t written = connection.write(data, size);
        // A blocking socket takes at least one byte or raises; 0 means it would block for ever.
        if (written == 0 || written > size)
            throw vexa::NetworkException(vexa::NetworkException::NETWORK_ERROR);
        data += written;
        size -= written;
    }
}
