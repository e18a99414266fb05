#include "server/reply.hpp"

#include "core/exceptions.hpp"
#include "core/text.hpp"

#include <algorithm>

using namespace vexa;

namespace {

// The most of a file that one call asks the connection to send. Larger asks save no more
// calls: the socket takes a call's bytes as its buffer empties, and a fallback through a
// buffer moves 4096 bytes a call whatever it is asked.
const int64_t LARGEST_CALL = 16 << 20;

// A literal's length is known when it is compiled: no copy of it is made.
void writeText(IODevice& connection, StringRef text)
{
    writeAll(connection, text.data(), uint32_t(text.size()));
}

void writeRange(IODevice& connection, File& file, const ByteRange& range)
{
    file.seek(range.start, File::BEGIN);
    for (int64_t count = range.end - range.start; count > 0;) {
        uint32_t n = connection.writeFrom(file, uint32_t(std::min(count, LARGEST_CALL)));
        // The file shrank since its size was read. Many clients would take a body short of its
        // Content-Length for the whole file; the reply must fail instead.
        if (n == 0)
            throw DataException(DataException::UNEXPECTED_END_OF_FILE);
        count -= n;
    }
}

} // namespace

Reply fileReply(Pointer<File> file, const ByteRange& range, int64_t size,
                const std::string& contentType)
{
    Reply reply;
    if (range.selectsNothing()) {
        // Nothing of the file lies in the range: say so instead of an empty 206.
        reply.status = "HTTP/1.1 416 Range Not Satisfiable\r\n";
        reply.headers.push_back(substitute("Content-Range: bytes */%0\r\n", size));
        return reply;
    }
    reply.status = range.ranged ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    reply.headers.reserve(4);
    reply.headers.push_back("Accept-Ranges: bytes\r\n");
    reply.headers.push_back(substitute("Content-Length: %0\r\n", range.end - range.start));
    if (range.ranged) {
        std::string line = substitute("Content-Range: bytes %0-%1/%2\r\n", range.start);
        line = substitute(line, range.end - 1);
        reply.headers.push_back(substitute(line, size));
    }
    reply.headers.push_back(substitute("Content-Type: %0\r\n", contentType));
    reply.file = file;
    reply.body = range;
    return reply;
}

Reply pageReply(PageLines lines)
{
    Reply reply;
    reply.status = "HTTP/1.1 200 OK\r\n";
    reply.headers.push_back("Content-Type: text/html\r\n");
    reply.lines = std::move(lines);
    return reply;
}

Reply notFoundReply()
{
    Reply reply;
    reply.status = "HTTP/1.1 404 Not Found\r\n";
    return reply;
}

void sendReply(IODevice& connection, const Reply& reply, bool headOnly)
{
    writeText(connection, reply.status);
    writeText(connection, "Connection: close\r\n");
    for (const std::string& header : reply.headers)
        writeText(connection, header);
    writeText(connection, "\r\n");
    if (headOnly)
        return;
    if (reply.file)
        writeRange(connection, *reply.file, reply.body);
    else if (reply.lines)
        reply.lines([&connection](const std::string& line) { writeText(connection, line); });
}
