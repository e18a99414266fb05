#pragma once

#include <cstdint>
#include <string>

namespace vexa {
class BufferedReader;
}

// The pieces of a request that are text work, kept apart so they can be tested alone.

// Accepts only "GET /<path> ..." and "HEAD /<path> ...", and yields the raw bytes between the
// '/' and the next space, up to a '?' that begins a query among them. headOnly tells HEAD,
// which asks for the head that GET would get.
bool parseRequestLine(const std::string& line, std::string& rawPath, bool& headOnly);

// Replaces each '%' and the two bytes after it by the byte their hex figures make, from the end
// towards the start: "%2541" is "%41". A byte that a replacement made may be a figure of a '%'
// before it: "%%41" is "%A" on the way, then a line feed. Figures end at the first byte that is
// none ("%4g" is 4); a '%' among the last two bytes stays as it is.
std::string percentDecode(std::string raw);

// False for paths that could leave the served directory or confuse the system: a leading
// '/', a ".." element anywhere, a NUL byte, or an element that the system would not open by
// its very name (see opensAsWritten).
bool isConfined(const std::string& decodedPath);

// [start, end) of the file to send; ranged once a valid Range line has been seen.
struct ByteRange
{
    // Initialised: a reply without a file copies its range too.
    int64_t start = 0;
    int64_t end = 0;
    bool ranged = false;
    std::string asked; // the value of the last valid Range line, as the client wrote it

    // Not one byte of the file: the reply is the 416.
    bool selectsNothing() const { return ranged && end <= start; }
};

// Narrows the range by one header line: a Range line (name and unit in any case) whose value
// is 'bytes=' and a valid first range. Only the first range of a list counts. Every other
// line, and a Range line whose value is not such a range, is ignored.
void applyRangeLine(const std::string& line, ByteRange& range);

// Reads the header lines up to the empty line and applies each Range line to the range.
// More than maxLines lines raise DATA_CORRUPT: a client cannot hold the thread with them.
void readHeaderLines(vexa::BufferedReader& reader, int32_t maxLines, ByteRange& range);
