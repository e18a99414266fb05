// BufferedReader over a device that hands out its bytes in reads of random sizes.
#include "core/buffered_reader.hpp"
#include "core/exceptions.hpp"
#include "core/text.hpp"

#include "fuzz/check.hpp"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace vexa;

namespace {

// Sets END_OF_STREAM on a read that finds nothing left, like a socket whose peer closed.
// A chunk size of 0 is a read that yields nothing without the end (a timed-out socket).
class ChunkedDevice : public IODevice
{
public:
    ChunkedDevice(std::string content, std::vector<uint32_t> chunks)
        : m_content(std::move(content)), m_chunks(std::move(chunks)), m_offset(0), m_reads(0),
          m_state(OPEN)
    {
    }

    uint32_t read(char* buffer, uint32_t size) override
    {
        FUZZ_CHECK(size > 0);
        if (m_offset == m_content.size()) {
            m_state |= END_OF_STREAM;
            return 0;
        }
        std::size_t n = std::min<std::size_t>(
            {size, m_chunks[m_reads++ % m_chunks.size()], m_content.size() - m_offset});
        // Touch every byte the reader said it has room for.
        std::memset(buffer, 0x5a, size);
        std::memcpy(buffer, m_content.data() + m_offset, n);
        m_offset += n;
        return uint32_t(n);
    }
    uint32_t write(const char*, uint32_t size) override { return size; }
    void close() override { m_state = 0; }
    uint32_t getState() override { return m_state; }

private:
    std::string m_content;
    std::vector<uint32_t> m_chunks;
    std::size_t m_offset;
    std::size_t m_reads;
    uint32_t m_state;
};

struct Expected
{
    std::vector<std::string> lines;
    int32_t finalCode; // the exception after the last line
};

std::string trimBlanks(const std::string& text)
{
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32)
        --e;
    return text.substr(b, e - b);
}

Expected expectedLines(const std::string& content)
{
    Expected expected;
    std::size_t begin = 0;
    for (;;) {
        std::size_t feed = content.find('\n', begin);
        std::size_t end = feed == std::string::npos ? content.size() : feed;
        if (end - begin > std::size_t(BufferedReader::MAX_LINE_LENGTH)) {
            expected.finalCode = DataException::DATA_CORRUPT;
            return expected;
        }
        if (feed == std::string::npos) {
            expected.finalCode = DataException::UNEXPECTED_END_OF_FILE;
            return expected;
        }
        expected.lines.push_back(trimBlanks(content.substr(begin, end - begin)));
        begin = feed + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    int32_t bufferSize = input.ConsumeIntegralInRange<int32_t>(1, 2048);
    bool stalls = input.ConsumeIntegralInRange<int>(0, 7) == 0;
    std::vector<uint32_t> chunks(input.ConsumeIntegralInRange<std::size_t>(1, 16));
    for (uint32_t& chunk : chunks)
        chunk = input.ConsumeIntegralInRange<uint32_t>(stalls ? 0 : 1, 3000);
    // Repeating the rest makes lines longer than the cap reachable from small inputs.
    int repeat = input.ConsumeIntegralInRange<int>(1, 4);
    std::string piece = input.ConsumeRemainingBytesAsString();
    std::string content;
    for (int i = 0; i < repeat; ++i)
        content += piece;

    Expected expected = expectedLines(content);
    Pointer<ChunkedDevice> device(new ChunkedDevice(content, chunks));
    BufferedReader reader(Pointer<IODevice>(device), false, bufferSize);
    std::size_t taken = 0;
    int32_t code = -1;
    for (;;) {
        try {
            std::string line = reader.readLine();
            FUZZ_CHECK(taken < expected.lines.size());
            FUZZ_CHECK(line == expected.lines[taken]);
            ++taken;
        } catch (const DataException& e) {
            code = e.code;
            break;
        }
    }
    if (stalls) {
        // A read that yields nothing ends the request early, never with a wrong line.
        FUZZ_CHECK(code == DataException::UNEXPECTED_END_OF_FILE || code == expected.finalCode);
        return 0;
    }
    FUZZ_CHECK(taken == expected.lines.size());
    FUZZ_CHECK(code == expected.finalCode);
    if (code == DataException::UNEXPECTED_END_OF_FILE) {
        // The end stays the end.
        try {
            reader.readLine();
            FUZZ_CHECK(false);
        } catch (const DataException& e) {
            FUZZ_CHECK(e.code == DataException::UNEXPECTED_END_OF_FILE);
        }
    }
    return 0;
}
