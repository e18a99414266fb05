#include "server/console.hpp"

#include "core/text.hpp"

#include <iostream>

boost::mutex consoleMutex;

namespace {

std::string escapeControls(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

void printLine(const std::string& line)
{
    std::string text = escapeControls(line);
    boost::mutex::scoped_lock lock(consoleMutex);
    std::cout << text << std::endl;
}

std::string quotedPath(const boost::filesystem::path& path)
{
    const std::string& text = path.string();
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

std::string errorLine(const char* what)
{
    return std::string("error: ") + what;
}

std::string errorLine(const char* what, const boost::filesystem::path& requestPath)
{
    return errorLine(what) + " for " + quotedPath(requestPath);
}
