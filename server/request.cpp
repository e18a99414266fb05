#include "server/request.hpp"

#include "core/buffered_reader.hpp"
#include "core/exceptions.hpp"
#include "core/file.hpp"
#include "core/text.hpp"

using namespace vexa;

namespace {

// The index of the first byte from pos on that is not a decimal figure.
std::size_t afterFigures(const std::string& text, std::size_t pos)
{
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        ++pos;
    return pos;
}

} // namespace

bool parseRequestLine(const std::string& line, std::string& rawPath, bool& headOnly)
{
    int32_t slash = startsWith(line, "GET ") ? 4 : startsWith(line, "HEAD ") ? 5 : -1;
    if (slash < 0)
        return false;
    int32_t space = find(line, ' ', slash, -1);
    if (space < 0 || line[std::size_t(slash)] != '/')
        return false;
    // The query is no part of the path: 'style.css?v=3' is 'style.css'. An encoded '%3F' is.
    int32_t query = find(line, '?', slash + 1, space);
    rawPath = substring(line, slash + 1, query < space ? query : space);
    headOnly = slash == 5;
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
    // The name and the unit in any case (figures have none); blanks around the value. Only
    // the name is looked at in every header line, without a copy of it.
    static const char NAME[] = "range:";
    for (std::size_t i = 0; i < sizeof NAME - 1; ++i) {
        char c = i < line.size() ? line[i] : '\0';
        if ((c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c) != NAME[i])
            return;
    }
    std::string asked = trim(line.substr(6));
    std::string value = toLower(asked);
    if (!startsWith(value, "bytes="))
        return;
    // The first range: 'first-last', 'first-' or '-suffix', then the end or the next range.
    std::size_t dash = afterFigures(value, 6);
    std::size_t end = afterFigures(value, dash + 1);
    if (dash == value.size() || value[dash] != '-' || (dash == 6 && end == dash + 1))
        return;
    std::string rest = trim(value.substr(end));
    if (!rest.empty() && rest[0] != ',')
        return;
    range.ranged = true;
    range.asked = std::move(asked);
    // Figures only, so no number is negative; one too large for 64 bits saturates.
    int64_t last = toInt64(value.substr(dash + 1, end - dash - 1));
    if (dash == 6) {
        // '-suffix': the last bytes; max(end - suffix, 0), and nothing for a suffix of 0
        range.start = last == 0 ? range.end : (last >= range.end ? 0 : range.end - last);
        return;
    }
    range.start = toInt64(value.substr(6, dash - 6));
    // min(end, last + 1); 'first-' runs to the end
    if (end > dash + 1 && last < range.end)
        range.end = last + 1;
}

void readHeaderLines(BufferedReader& reader, int32_t maxLines, ByteRange& range)
{
    for (int32_t lines = 0;; ++lines) {
        std::string line = reader.readLine();
        if (line.empty())
            return;
        if (lines == maxLines)
            throw DataException(DataException::DATA_CORRUPT);
        applyRangeLine(line, range);
    }
}
