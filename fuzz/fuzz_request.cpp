// The request line, the percent-decoding and the confinement of the decoded path.
#include "server/request.hpp"

#include "fuzz/check.hpp"

#include <boost/filesystem/path.hpp>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool hasDotDotElement(const std::string& path)
{
    std::size_t begin = 0;
    for (;;) {
        std::size_t slash = path.find('/', begin);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (path.substr(begin, end - begin) == "..")
            return true;
        if (slash == std::string::npos)
            return false;
        begin = slash + 1;
    }
}

void checkConfinement(const std::string& decoded)
{
    bool expected = decoded.find('\0') == std::string::npos &&
                    (decoded.empty() || decoded[0] != '/') && !hasDotDotElement(decoded);
    bool confined = isConfined(decoded);
    FUZZ_CHECK(confined == expected);
    if (!confined)
        return;
    // What the file system will see must stay below the served directory.
    boost::filesystem::path path(decoded);
    FUZZ_CHECK(!path.has_root_directory() && !path.has_root_name());
    for (const boost::filesystem::path& element : path)
        FUZZ_CHECK(element.string() != "..");
}

// Every byte written as %XX, in either letter case, must decode back to itself.
std::string encodeAll(const std::string& bytes, bool upper)
{
    const char* hex = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        out += '%';
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);

    std::string raw;
    bool headOnly = false;
    bool accepted = parseRequestLine(input, raw, headOnly);
    bool head = input.compare(0, 6, "HEAD /") == 0;
    std::size_t begin = head ? 6 : 5;
    bool expected =
        (head || input.compare(0, 5, "GET /") == 0) && input.find(' ', begin) != std::string::npos;
    FUZZ_CHECK(accepted == expected && (!accepted || headOnly == head));
    if (accepted) {
        std::string path = input.substr(begin, input.find(' ', begin) - begin);
        FUZZ_CHECK(raw == path.substr(0, path.find('?')));
        std::string decoded = percentDecode(raw);
        FUZZ_CHECK(decoded.size() <= raw.size());
        checkConfinement(decoded);
    }

    std::string decoded = percentDecode(input);
    FUZZ_CHECK(decoded.size() <= input.size());
    if (input.find('%') == std::string::npos)
        FUZZ_CHECK(decoded == input);
    checkConfinement(input);
    checkConfinement(decoded);

    FUZZ_CHECK(percentDecode(encodeAll(input, size % 2 == 0)) == input);
    return 0;
}
