#include "server/reply.hpp"

#include "core/exceptions.hpp"
#include "core/text.hpp"

using vexa::IODevice;
using vexa::substitute;

namespace {

void writeStatus(IODevice& connection, const std::string& statusLine)
{
    writeText(connection, statusLine);
    writeText(connection, "Connection: close\r\n");
}

} // namespace

void writeAll(IODevice& connection, const char* data, uint32_t size)
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

void writeFileHead(IODevice& connection, const ByteRange& range, int64_t size,
                   const std::string& contentType)
{
    writeStatus(connection,
                range.ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n");
    writeText(connection, "Accept-Ranges: bytes\r\n");
    writeText(connection, substitute("Content-Length: %0\r\n", range.end - range.start));
    if (range.ranged) {
        std::string line = substitute("Content-Range: bytes %0-%1/%2\r\n", range.start);
        line = substitute(line, range.end - 1);
        writeText(connection, substitute(line, size));
    }
    writeText(connection, substitute("Content-Type: %0\r\n", contentType));
    writeText(connection, "\r\n");
}

void writeRangeNotSatisfiable(IODevice& connection, int64_t size)
{
    writeStatus(connection, "HTTP/1.1 416 Range Not Satisfiable\r\n");
    writeText(connection, substitute("Content-Range: bytes */%0\r\n", size));
    writeText(connection, "\r\n");
}

void writeListingHead(IODevice& connection)
{
    writeStatus(connection, "HTTP/1.1 200 OK\r\n");
    writeText(connection, "Content-Type: text/html\r\n");
    writeText(connection, "\r\n");
}

void writeNotFound(IODevice& connection)
{
    writeStatus(connection, "HTTP/1.1 404 Not Found\r\n");
    writeText(connection, "\r\n");
}
