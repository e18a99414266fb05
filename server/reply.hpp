#pragma once

#include "core/file.hpp"
#include "server/request.hpp"

#include <functional>
#include <string>
#include <vector>

// Hands each line of a page to the reply as it is made.
using LineOut = std::function<void(const std::string& line)>;
// Makes a page's lines, each ended by its line feed, and hands them out one by one. Raises
// FileException when what they are made of cannot be read to its end.
using PageLines = std::function<void(const LineOut& out)>;

// What goes out on a connection: the status line, the header lines and the empty line that
// end the head, then what follows them: a range of a file, the lines of a page, or nothing.
// Every line, and every chunk of the file, is a write of its own.
struct Reply
{
    std::string status;               // "HTTP/1.1 200 OK\r\n"
    std::vector<std::string> headers; // each with its line end; "Connection: close" comes first
    vexa::Pointer<vexa::File> file;   // with body: the bytes of it that follow the head
    ByteRange body;
    PageLines lines; // or the lines of a page
};

// The file whole (200) or one range of it (206); a range that selects no byte gets the 416.
Reply fileReply(vexa::Pointer<vexa::File> file, const ByteRange& range, int64_t size,
                const std::string& contentType);
// An HTML page of no stated length: the end of the connection ends it.
Reply pageReply(PageLines lines);
// The bare 404.
Reply notFoundReply();

// Sends the reply, or its head alone (what follows is then neither made nor read). Raises what the
// connection raises, FileException when what follows the head cannot be read, and DataException
// UNEXPECTED_END_OF_FILE when a file ends before its range does: the reply has begun by then and
// can only be cut short.
void sendReply(vexa::IODevice& connection, const Reply& reply, bool headOnly);
