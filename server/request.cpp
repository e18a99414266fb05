#include "server/request.hpp"

#include "core/file.hpp"
#include "core/text.hpp"

using namespace vexa;

bool parseRequestLine(const std::string& line, std::string& rawPath)
{
    if (!startsWith(line, "GET "))
        return false;
    int32_t space = find(line, ' ', 4, -1);
    if (space < 0 || line[4] != '/')
        return false;
    rawPath = substring(line, 5, space);
    return true;
}

std::string percentDecode(std::string raw)
{
    for (int32_t pos = int32_t(raw.size()) - 3; pos >= 0; --pos) {
        if (raw[std::size_t(pos)] != '%')
            continue;
        // Earlier replacements may have shortened the text behind pos; never read past it.
        int32_t available = int32_t(raw.size()) - pos - 1;
        uint64_t value = parseInteger(raw.data() + pos + 1, available < 2 ? available : 2, 16);
        raw.replace(std::size_t(pos), 3, 1, char(value & 0xff));
    }
    return raw;
}

bool isConfined(const std::string& decodedPath)
{
    if (decodedPath.find('\0') != std::string::npos)
        return false;
    if (!decodedPath.empty() && decodedPath[0] == '/')
        return false;
    std::size_t begin = 0;
    for (;;) {
        std::size_t slash = decodedPath.find('/', begin);
        std::size_t end = slash == std::string::npos ? decodedPath.size() : slash;
        std::string element = decodedPath.substr(begin, end - begin);
        if (element == ".." || !opensAsWritten(element))
            return false;
        if (slash == std::string::npos)
            return true;
        begin = slash + 1;
    }
}

void applyRangeLine(const std::string& line, ByteRange& range)
{
    range.ranged = true;
    int32_t e = find(line, '=', 0, -1);
    int32_t d = find(line, '-', e + 1, -1);
    if (uint32_t(e) < uint32_t(d - 1)) {
        // 'first-last' or 'first-'
        range.start = toInt64(substring(line, e + 1, d));
        if (d != int32_t(line.size()) - 1) {
            int64_t last = toInt64(substring(line, d + 1, 2147483647));
            // min(end, last + 1), kept at 0 or above so that end - start cannot overflow;
            // an end at 0 selects nothing either way
            if (last < range.end)
                range.end = last < 0 ? 0 : last + 1;
        }
    } else {
        // '-length' (or no '='): the last n bytes
        int64_t n = toInt64(substring(line, d + 1, 2147483647));
        // max(end - n, 0); a length of 0 or less selects nothing, so the range is empty
        range.start = n <= 0 ? range.end : (n >= range.end ? 0 : range.end - n);
    }
}
