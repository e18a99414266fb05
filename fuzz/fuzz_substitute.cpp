// substitute against a plain reading of its rule, and toString against the library's own.
#include "core/text.hpp"

#include "fuzz/check.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool isFigure(char c)
{
    return c >= '0' && c <= '9';
}

// Returns the index past the figures after the '%' at s; number wraps like a 32-bit value.
std::size_t figuresAfter(const std::string& w, std::size_t s, int32_t& number)
{
    uint32_t v = 0;
    std::size_t i = s + 1;
    for (; i < w.size() && isFigure(w[i]); ++i)
        v = v * 10 + uint32_t(w[i] - '0');
    number = int32_t(v);
    return i;
}

std::string reference(std::string w, const std::string& argument)
{
    const int32_t none = 2147483647;
    int32_t m = none;
    for (std::size_t i = 0; i < w.size();) {
        if (w[i] != '%') {
            ++i;
            continue;
        }
        int32_t v;
        std::size_t e = figuresAfter(w, i, v);
        if (e >= i + 2 && v < m)
            m = v;
        i = e;
    }
    if (m == none)
        return w;
    for (std::size_t i = 0; i < w.size();) {
        if (w[i] != '%') {
            ++i;
            continue;
        }
        int32_t v;
        std::size_t e = figuresAfter(w, i, v);
        if (e >= i + 2 && v == m) {
            w = w.substr(0, i) + argument + w.substr(e);
            i += argument.size();
        } else {
            i = e;
        }
    }
    return w;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::string templ = input.ConsumeRandomLengthString(300);
    std::string argument = input.ConsumeRandomLengthString(100);
    int64_t value = input.ConsumeIntegral<int64_t>();

    FUZZ_CHECK(vexa::toString(value) == std::to_string(value));
    FUZZ_CHECK(vexa::toInt64(std::to_string(value)) == value);

    std::string text = vexa::substitute(templ, argument);
    FUZZ_CHECK(text == reference(templ, argument));
    FUZZ_CHECK(vexa::substitute(templ, value) == reference(templ, std::to_string(value)));

    // Filling placeholders one call at a time, as the reply headers are built.
    std::string twice = vexa::substitute(text, value);
    FUZZ_CHECK(twice == reference(reference(templ, argument), std::to_string(value)));
    return 0;
}
