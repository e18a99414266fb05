#include "server/console.hpp"

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
