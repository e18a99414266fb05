#include "server/console_lines.hpp"
#include "server/console_writer.hpp"

#include "tests/server/fakes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ConsoleLine, EscapesControlsAndBytesThatAreNotUtf8AndKeepsUtf8Text)
{
    struct Case
    {
        const char* line;
        const char* shown;
    };
    const Case cases[] = {
        {"caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 ~",
         "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80 ~"},
        {"\x1b[2J\x0a\x7f\x09", "\\x1b[2J\\x0a\\x7f\\x09"},
        // C1 controls in their UTF-8 form (CSI, NEL), both bytes; U+00A0 after them stays.
        {"x\xc2\x9b"
         "2J\xc2\x85"
         "fake\xc2\xa0",
         "x\\xc2\\x9b2J\\xc2\\x85fake\xc2\xa0"},
        {"\x9b"
         "2J",
         "\\x9b2J"},                                             // CSI to an 8-bit terminal
        {"\xc0\xaf \xe0\x80\xaf", "\\xc0\\xaf \\xe0\\x80\\xaf"}, // overlong forms of '/'
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},                     // a UTF-16 surrogate
        {"\xf4\x90\x80\x80 \xff", "\\xf4\\x90\\x80\\x80 \\xff"}, // beyond U+10FFFF
        {"\xe6\x97x \xe6\x97", "\\xe6\\x97x \\xe6\\x97"},        // cut short, inside and at the end
    };
    for (const Case& c : cases) {
        CapturedConsole console;
        printLine(c.line);
        EXPECT_EQ(console.lines(), std::vector<std::string>{c.shown}) << c.shown;
    }
}

TEST(ConsoleWriter, DropsWhatFindsTheRingFullAndSaysHowManyInTheirPlace)
{
    static std::string taken;
    boost::mutex mutex;
    ConsoleWriter writer(mutex, 64, [](const char* data, uint32_t size) {
        taken.append(data, size);
        return size;
    });
    const std::string lost = "error: 1 console lines were lost\n";
    const std::string first = std::string(19, 'a') + "\n";
    writer.put(first.data(), first.size());
    writer.put(std::string(50, 'b').data(), 50); // more than is free
    writer.put("c\n", 2);                        // room for the notice and the line
    writer.put(std::string(65, 'd').data(), 65); // more than the whole ring
    writer.flush(0);
    const std::string wrapped = std::string(19, 'e') + "\n"; // past the ring's end
    writer.put(wrapped.data(), wrapped.size());
    writer.flush(0);
    EXPECT_EQ(taken, first + lost + "c\n" + lost + wrapped);
}
