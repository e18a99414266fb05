#include "server/request.hpp"

#include "core/buffered_reader.hpp"
#include "core/exceptions.hpp"
#include "core/file.hpp"
#include "core/text.hpp"

using namespace vexa;

namespace {

// As an end index of substring: everything to the end of the line.
const int32_t TO_THE_END = 2147483647;

} // namespace

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
    int32_t equals = find(line, '=', 0, -1);
    int32_t dash = find(line, '-', equals + 1, -1);
    if (uint32_t(equals) < uint32_t(dash - 1)) {
        // 'first-last' or 'first-'
        range.start = toInt64(substring(line, equals + 1, dash));
        if (dash != int32_t(line.size()) - 1) {
            int64_t last = toInt64(substring(line, dash + 1, TO_THE_END));
            // min(end, last + 1), kept at 0 or above so that end - start cannot overflow;
            // an end at 0 selects nothing either way
            if (last < range.end)
                range.end = last < 0 ? 0 : last + 1;
        }
    } else {
        // '-length' (or no '='): the last bytes of the file
        int64_t length = toInt64(substring(line, dash + 1, TO_THE_END));
        // max(end - length, 0); a length of 0 or less selects nothing, so the range is empty
        range.start = length <= 0 ? range.end : (length >= range.end ? 0 : range.end - length);
    }
}

void readHeaderLines(BufferedReader& reader, int32_t maxLines, ByteRange& range)
{
    for (int32_t lines = 0;; ++lines) {
        std::string line = reader.readLine();
        if (line.empty())
            return;
        if (lines == maxLines)
            throw DataException(DataException::DATA_CORRUPT);
        if (startsWith(line, "Range:"))
            applyRangeLine(line, range);
    }
}
