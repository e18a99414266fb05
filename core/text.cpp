#include "core/text.hpp"

#include <locale>
#include <sstream>

namespace vexa {

namespace {

bool isFigure(char c)
{
    return c >= '0' && c <= '9';
}

// Reads the figures after the '%' at index s; returns the index past them and their number.
int32_t scanPlaceholder(const std::string& w, int32_t s, int32_t& number)
{
    int32_t i = s + 1;
    uint32_t v = 0; // unsigned, so a huge number wraps instead of overflowing
    while (i < int32_t(w.size()) && isFigure(w[i]))
        v = v * 10 + uint32_t(w[i++] - '0');
    number = int32_t(v);
    return i;
}

} // namespace

std::string substitute(StringRef templ, StringRef argument)
{
    std::string w = templ;
    const int32_t none = 2147483647;
    int32_t m = none;
    for (int32_t i = 0; i < int32_t(w.size());) {
        if (w[i] != '%') {
            ++i;
            continue;
        }
        int32_t v = 0;
        int32_t e = scanPlaceholder(w, i, v);
        if (e >= i + 2 && v < m)
            m = v;
        i = e;
    }
    if (m == none)
        return w;
    for (int32_t i = 0; i < int32_t(w.size());) {
        if (w[i] != '%') {
            ++i;
            continue;
        }
        int32_t v = 0;
        int32_t e = scanPlaceholder(w, i, v);
        if (e >= i + 2 && v == m) {
            // The inserted text is never scanned again by this call.
            w.replace(std::size_t(i), std::size_t(e - i), argument.data(),
                      std::size_t(argument.size()));
            i += argument.size();
        } else {
            i = e;
        }
    }
    return w;
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
    uint64_t r = 0;
    for (int32_t i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        int32_t d;
        if (b >= '0' && b <= '9')
            d = b - '0';
        else if (b >= 'a')
            d = b - 'a' + 10;
        else if (b >= 'A')
            d = b - 'A' + 10;
        else
            break;
        if (d >= base)
            break;
        r = r * uint64_t(base) + uint64_t(d);
    }
    return r;
}

std::string trim(const std::string& text)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    std::size_t b = 0;
    while (b < text.size() && blank(text[b]))
        ++b;
    std::size_t e = text.size();
    while (e > b && blank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
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
