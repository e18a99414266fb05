#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vexa {

// A non-owning view of bytes; they need not end in a zero byte.
class StringRef
{
public:
    StringRef(const std::string& text) : m_data(text.data()), m_size(int32_t(text.size())) {}
    template <std::size_t N>
    StringRef(const char (&literal)[N]) : m_data(literal), m_size(int32_t(N - 1))
    {
    }
    // A writable array is a buffer, not a literal: its size says nothing about its text.
    template <std::size_t N> StringRef(char (&buffer)[N]) = delete;
    StringRef(const char* data, int32_t size) : m_data(data), m_size(size) {}

    const char* data() const { return m_data; }
    int32_t size() const { return m_size; }
    operator std::string() const { return std::string(m_data, std::size_t(m_size)); }

private:
    const char* m_data;
    int32_t m_size;
};

// Fills every placeholder of the lowest number ("%0", "%00", "%1"...) with the argument.
std::string substitute(StringRef templ, StringRef argument);
std::string substitute(StringRef templ, int64_t value);
std::string substitute(StringRef templ, std::string text);
inline std::string substitute(StringRef templ, const char* text)
{
    return substitute(templ, StringRef(text, int32_t(std::strlen(text))));
}

std::string toString(int64_t value);
std::string toString(std::string text);
int64_t toInt64(const std::string& text);
uint64_t parseInteger(const char* data, int32_t length, int32_t base);
std::string trim(const std::string& text);
// ASCII letters only: protocol names and units, file extensions. Other bytes stay as they are.
std::string toLower(std::string text);
std::string substring(StringRef text, int32_t begin, int32_t end);
int32_t find(StringRef text, char c, int32_t start, int32_t notFound);
bool startsWith(StringRef text, StringRef prefix);

} // namespace vexa
