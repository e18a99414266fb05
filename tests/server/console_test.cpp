#include "server/console.hpp"

#include "tests/server/fakes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A console that takes at most `room` more bytes, and notes how long each write may wait.
struct ScriptedConsole
{
    static uint32_t take(const char* data, uint32_t size, int32_t waitMillis)
    {
        waits.push_back(waitMillis);
        uint32_t n = size < room ? size : room;
        room -= n;
        taken.append(data, n);
        return n;
    }

    static std::string taken;
    static uint32_t room;
    static std::vector<int32_t> waits;
};

std::string ScriptedConsole::taken;
uint32_t ScriptedConsole::room;
std::vector<int32_t> ScriptedConsole::waits;

} // namespace

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

TEST(ConsoleLine, ABlockedConsoleLosesLinesWithoutWaitingAndIsToldHowMany)
{
    uint32_t (*saved)(const char*, uint32_t, int32_t) = consoleOutput;
    consoleOutput = ScriptedConsole::take;
    ScriptedConsole::room = 1000;
    printLine("one");
    ScriptedConsole::room = 5; // stops taking output in the middle of a line
    printLine("two is cut");
    ScriptedConsole::room = 0;
    printLine("three");
    printLine("four");
    ScriptedConsole::room = 1000;
    printLine("five");
    printLine("six");
    consoleOutput = saved;

    EXPECT_EQ(ScriptedConsole::taken, "one\ntwo i\nerror: 3 console lines were lost\nfive\nsix\n");
    // Only a console that took the line before may hold the next one for up to a second.
    std::vector<int32_t> waits = {1000, 1000, 0, 0, 0, 0, 0, 1000};
    EXPECT_EQ(ScriptedConsole::waits, waits);
}
