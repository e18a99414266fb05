#include "server/console_lines.hpp"

#include "core/text.hpp"

namespace {

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

} // namespace

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
    // As asked: the start and end it leaves stand reversed and would read like a range sent.
    if (range.selectsNothing())
        return line + range.asked + " of " + toString(size) + ") not satisfiable";
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
