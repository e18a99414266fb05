// The range rule: whatever the header lines and the file size, a range that selects bytes
// lies inside the file.
#include "core/text.hpp"
#include "server/request.hpp"

#include "fuzz/check.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using Wide = __int128;

// The rule as first written down (a dash without a figure after it runs to the end), in 128 bits.
void referenceRule(const std::string& line, Wide& start, Wide& end)
{
    using namespace vexa;
    int32_t e = find(line, '=', 0, -1);
    int32_t d = find(line, '-', e + 1, -1);
    if (uint32_t(e) < uint32_t(d - 1)) {
        start = toInt64(substring(line, e + 1, d));
        if (d + 1 < int32_t(line.size()) && line[d + 1] >= '0' && line[d + 1] <= '9') {
            Wide last = Wide(toInt64(substring(line, d + 1, 2147483647))) + 1;
            if (last < end)
                end = last;
        }
    } else {
        Wide n = toInt64(substring(line, d + 1, 2147483647));
        start = end - n > 0 ? end - n : 0;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    int64_t fileSize =
        input.ConsumeBool()
            ? input.ConsumeIntegralInRange<int64_t>(0, 5000)
            : input.ConsumeIntegralInRange<int64_t>(0, std::numeric_limits<int64_t>::max());
    ByteRange range = {0, fileSize, false, {}};
    for (int lines = 0; lines < 8 && input.remaining_bytes() > 0; ++lines) {
        std::string line = input.ConsumeRandomLengthString(200);
        if (input.ConsumeBool())
            line = (input.ConsumeBool() ? "Range: bytes=" : "rANGE:\tBYTES=") + line;

        Wide referenceStart = range.start;
        Wide referenceEnd = range.end;
        applyRangeLine(line, range);
        if (range.start == referenceStart && range.end == referenceEnd)
            continue; // a line that is no valid range is ignored whole, never used in part
        referenceRule(line, referenceStart, referenceEnd);

        FUZZ_CHECK(range.ranged && range.asked == vexa::trim(line.substr(6)));
        int64_t count = 0;
        FUZZ_CHECK(!__builtin_sub_overflow(range.end, range.start, &count));
        FUZZ_CHECK(range.end <= fileSize);
        if (count > 0)
            FUZZ_CHECK(range.start >= 0 && range.end <= fileSize);
        // Where the rule selects bytes, the same ones; where it selects none, none.
        if (referenceEnd - referenceStart > 0)
            FUZZ_CHECK(range.start == referenceStart && range.end == referenceEnd);
        else
            FUZZ_CHECK(count <= 0);
    }
    return 0;
}
