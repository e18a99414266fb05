#include "server/console.hpp"

#include "core/console.hpp"
#include "core/text.hpp"

#include <cstdio>
#include <new>

boost::mutex consoleMutex;
uint32_t (*consoleOutput)(const char* data, uint32_t size, int32_t waitMillis) = vexa::writeConsole;

namespace {

// Long enough for a terminal that is busy drawing, short enough to keep every connection going.
const int32_t CONSOLE_WAIT_MILLIS = 1000;

// Guarded by consoleMutex. While lines are lost or one was cut short the console counts as
// blocked: a line then goes out at once or not at all.
int64_t lostLines = 0;
bool midLine = false; // a line was cut short: the console's last byte is no line feed

// Whether all of it went out; a part of it leaves the console in the middle of a line.
bool putWhole(const char* data, std::size_t size, int32_t waitMillis)
{
    uint32_t written = consoleOutput(data, uint32_t(size), waitMillis);
    if (written != 0 && written < size)
        midLine = true;
    return written == size;
}

// Allocates nothing, so that a line can still be written when memory has run out.
void writeLine(const char* data, std::size_t size) noexcept
{
    boost::mutex::scoped_lock lock(consoleMutex);
    int32_t waitMillis = midLine || lostLines ? 0 : CONSOLE_WAIT_MILLIS;
    // Once the console takes output again: end the line that was cut, tell what was lost.
    if (midLine && putWhole("\n", 1, 0))
        midLine = false;
    if (!midLine && lostLines) {
        char text[64];
        int length = std::snprintf(text, sizeof text, "error: %lld console lines were lost\n",
                                   static_cast<long long>(lostLines));
        if (putWhole(text, std::size_t(length), 0))
            lostLines = 0;
    }
    if (midLine || lostLines || !putWhole(data, size, waitMillis))
        ++lostLines;
}

// The length of the UTF-8 sequence at text[at] if it is valid and no control character, else 0.
std::size_t printableLength(const std::string& text, std::size_t at)
{
    unsigned char lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return lead >= 0x20 && lead != 0x7f ? 1 : 0;
    // Lead bytes 0xC0 and 0xC1 only begin overlong forms, 0xF5 and above only code points
    // beyond U+10FFFF.
    std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
    if (lead < 0xc2 || lead > 0xf4 || text.size() - at < length)
        return 0;
    uint32_t code = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xc0) != 0x80)
            return 0;
        code = code << 6 | (next & 0x3f);
    }
    // Two bytes start at U+00A0: below it lie the C1 controls (U+0080 to U+009F).
    static const uint32_t smallest[] = {0, 0, 0xa0, 0x800, 0x10000};
    bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code >= smallest[length] && code <= 0x10ffff && !surrogate ? length : 0;
}

std::string escapeControls(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = printableLength(text, at);
        if (length != 0) {
            out.append(text, at, length);
            at += length;
        } else {
            unsigned char b = static_cast<unsigned char>(text[at++]);
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

} // namespace

void printLine(const std::string& line)
{
    std::string text = escapeControls(line);
    text += '\n';
    writeLine(text.data(), text.size());
}

void printFailure(const char* prefix, const char* what) noexcept
{
    try {
        printLine(prefix + std::string(what));
    } catch (const std::bad_alloc&) {
        char text[96]; // the prefixes are short fixed texts
        int length = std::snprintf(text, sizeof text, "%sout of memory\n", prefix);
        writeLine(text, std::size_t(length));
    }
}

std::string quotedPath(const boost::filesystem::path& path)
{
    return quotedText(path.string());
}

std::string quotedText(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '&')
            out += '&';
        out += c;
    }
    out += '"';
    return out;
}

std::string fileLine(const boost::filesystem::path& requestPath, const ByteRange& range,
                     int64_t size, const std::string& contentType)
{
    using vexa::toString;
    std::string line = quotedPath(requestPath) + " (";
    if (range.ranged)
        line += toString(range.start) + "-" + toString(range.end - 1) + "/";
    return line + toString(size) + ") " + contentType;
}

std::string listingLine(const boost::filesystem::path& directory)
{
    return "listing html files in " + quotedPath(directory);
}

std::string errorLine(const char* what, const std::string& requestText)
{
    return std::string("error: ") + what + " for " + quotedText(requestText);
}
