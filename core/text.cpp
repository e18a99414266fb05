#include "core/text.hpp"

#include <locale>
#include <sstream>

namespace vexa {

namespace {

bool isFigure(char c)
{
    return c >= '0' && c <= '9';
}

// Stands for "no placeholder found"; a number this large is not settled anyway.
const int32_t NO_PLACEHOLDER = 2147483647;

// Reads the figures after the '%' at index percent; returns the index past them and sets
// number to their value.
int32_t scanPlaceholder(const std::string& text, int32_t percent, int32_t& number)
{
    int32_t at = percent + 1;
    uint32_t value = 0; // unsigned, so a huge number wraps instead of overflowing
    while (at < int32_t(text.size()) && isFigure(text[at]))
        value = value * 10 + uint32_t(text[at++] - '0');
    number = int32_t(value);
    return at;
}

bool isPlaceholder(int32_t percent, int32_t figuresEnd)
{
    return figuresEnd >= percent + 2;
}

} // namespace

std::string substitute(StringRef templ, StringRef argument)
{
    std::string work = templ;
    int32_t lowest = NO_PLACEHOLDER;
    for (int32_t at = 0; at < int32_t(work.size());) {
        if (work[at] != '%') {
            ++at;
            continue;
        }
        int32_t number = 0;
        int32_t figuresEnd = scanPlaceholder(work, at, number);
        if (isPlaceholder(at, figuresEnd) && number < lowest)
            lowest = number;
        at = figuresEnd;
    }
    if (lowest == NO_PLACEHOLDER)
        return work;
    for (int32_t at = 0; at < int32_t(work.size());) {
        if (work[at] != '%') {
            ++at;
            continue;
        }
        int32_t number = 0;
        int32_t figuresEnd = scanPlaceholder(work, at, number);
        if (isPlaceholder(at, figuresEnd) && number == lowest) {
            // The inserted text is never scanned again by this call.
            work.replace(std::size_t(at), std::size_t(figuresEnd - at), argument.data(),
                         std::size_t(argument.size()));
            at += argument.size();
        } else {
            at = figuresEnd;
        }
    }
    return work;
}

std::string substitute(StringRef templ, int64_t value)
{
    return substitute(templ, StringRef(toString(value)));
}

std::string substitute(StringRef templ, std::string text)
{
    return substitute(templ, StringRef(text));
}

std::string toString(int64_t value)
{
    // Plain decimal is what a classic-locale stream writes; no stream needed for it.
    char figures[24];
    char* p = figures + sizeof figures;
    uint64_t magnitude = value < 0 ? 0 - uint64_t(value) : uint64_t(value);
    do {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = '-';
    return std::string(p, figures + sizeof figures);
}

std::string toString(std::string text)
{
    return text;
}

int64_t toInt64(const std::string& text)
{
    int64_t result = 0;
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    stream >> result;
    return result;
}

uint64_t parseInteger(const char* data, int32_t length, int32_t base)
{
    uint64_t result = 0;
    for (int32_t i = 0; i < length; ++i) {
        unsigned char byte = static_cast<unsigned char>(data[i]);
        int32_t figure;
        if (byte >= '0' && byte <= '9')
            figure = byte - '0';
        else if (byte >= 'a')
            figure = byte - 'a' + 10;
        else if (byte >= 'A')
            figure = byte - 'A' + 10;
        else
            break;
        if (figure >= base)
            break;
        result = result * uint64_t(base) + uint64_t(figure);
    }
    return result;
}

std::string trim(const std::string& text)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t begin = 0;
    while (begin < text.size() && blank(text[begin]))
        ++begin;
    std::size_t end = text.size();
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string toLower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return text;
}

std::string substring(StringRef text, int32_t begin, int32_t end)
{
    if (begin < 0)
        begin = 0; // never read in front of the text
    if (end > text.size())
        end = text.size();
    if (begin >= end)
        return std::string();
    return std::string(text.data() + begin, std::size_t(end - begin));
}

int32_t find(StringRef text, char c, int32_t start, int32_t notFound)
{
    for (int32_t i = start < 0 ? 0 : start; i < text.size(); ++i) {
        if (text.data()[i] == c)
            return i;
    }
    return notFound;
}

bool startsWith(StringRef text, StringRef prefix)
{
    return prefix.size() <= text.size() &&
           std::memcmp(text.data(), prefix.data(), std::size_t(prefix.size())) == 0;
}

} // namespace vexa
