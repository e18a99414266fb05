#include "core/text.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace vexa;

TEST(Substitute, FillsOnlyTheLowestNumberEverywhere)
{
    EXPECT_EQ(substitute("Content-Length: %0\n", int64_t(0)), "Content-Length: 0\n");
    std::string once = substitute("a%1b%0c%1", "X");
    EXPECT_EQ(once, "a%1bXc%1");
    EXPECT_EQ(substitute(once, "Y"), "aYbXcY");
    EXPECT_EQ(substitute("%00 and %0", "Z"), "Z and Z");
    EXPECT_EQ(substitute("a%0%0b", ""), "ab");
    // Gaps between numbers do not matter, only their order.
    EXPECT_EQ(substitute(substitute("%5 %1", "one"), "five"), "five one");
}

TEST(Substitute, LeavesTextWithoutPlaceholdersAlone)
{
    EXPECT_EQ(substitute("100%", "Z"), "100%");
    EXPECT_EQ(substitute("%x", "Z"), "%x");
    EXPECT_EQ(substitute("%%0", "Z"), "%Z");
    EXPECT_EQ(substitute("", "Z"), "");
    EXPECT_EQ(substitute("no placeholder", int64_t(7)), "no placeholder");
}

TEST(Substitute, NeverRescansTheInsertedText)
{
    EXPECT_EQ(substitute("%0", "%0"), "%0");
    EXPECT_EQ(substitute("%0|%0", "%0%1"), "%0%1|%0%1");
    // A later call does see it.
    EXPECT_EQ(substitute(substitute("%0 %1", "%1"), "B"), "B B");
}

TEST(Substitute, BuildsTheRangeHeaderOneNumberPerCall)
{
    std::string t = substitute("Content-Range: bytes %0-%1/%2\n", int64_t(0));
    t = substitute(t, int64_t(99));
    EXPECT_EQ(substitute(t, int64_t(1000)), "Content-Range: bytes 0-99/1000\n");
    EXPECT_EQ(substitute("%0", std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Text, ConvertsNumbersToAndFromText)
{
    EXPECT_EQ(toString(int64_t(0)), "0");
    EXPECT_EQ(toString(int64_t(-42)), "-42");
    EXPECT_EQ(toString(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(toString(std::numeric_limits<int64_t>::max()), "9223372036854775807");
    EXPECT_EQ(toInt64("  -17xyz"), -17);
    EXPECT_EQ(toInt64("+5"), 5);
    EXPECT_EQ(toInt64("123abc"), 123);
    EXPECT_EQ(toInt64("8589934591"), 8589934591LL); // beyond 32 bits
    EXPECT_EQ(toInt64(""), 0);
    EXPECT_EQ(toInt64("abc"), 0);
    EXPECT_EQ(toInt64("-"), 0);
}

TEST(Text, ParsesIntegersInAnyBaseUpTo36)
{
    auto parse = [](const char* text, int32_t base) {
        return parseInteger(text, int32_t(std::strlen(text)), base);
    };
    EXPECT_EQ(parse("ff", 16), 255u);
    EXPECT_EQ(parse("fF", 16), 255u);
    // The first letter of each case: '%4a' and '%4A' are both 'J'.
    EXPECT_EQ(parse("a", 16), 10u);
    EXPECT_EQ(parse("A", 16), 10u);
    EXPECT_EQ(parse("41", 16), 65u);
    EXPECT_EQ(parse("4g", 16), 4u);
    EXPECT_EQ(parse("zz", 16), 0u);
    EXPECT_EQ(parse("1z", 36), 71u);
    EXPECT_EQ(parse("9", 8), 0u);
    EXPECT_EQ(parse("1011", 2), 11u);
    EXPECT_EQ(parse("-1", 10), 0u);   // no sign
    EXPECT_EQ(parse("0x1f", 16), 0u); // no prefix
    EXPECT_EQ(parse(" 1", 10), 0u);   // no white space skipping
    EXPECT_EQ(parse("[", 36), 0u);    // a byte between 'Z' and 'a' is no figure
    EXPECT_EQ(parse("1\xff", 36), 1u);
    // Wraps modulo 2^64 instead of failing.
    EXPECT_EQ(parse("ffffffffffffffff1", 16), 0xfffffffffffffff1u);
    // Never reads past the length.
    EXPECT_EQ(parseInteger("4142", 2, 16), 0x41u);
    EXPECT_EQ(parseInteger("7", 0, 10), 0u);
    EXPECT_EQ(parseInteger("7", -3, 10), 0u);
}

TEST(Text, TrimsEveryByteUpTo32)
{
    EXPECT_EQ(trim("\r"), "");
    EXPECT_EQ(trim("   "), "");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim(" a b \r"), "a b");
    EXPECT_EQ(trim(std::string("\0\x01\x1f\tx\x0b\0", 7)), "x");
    // DEL and bytes from 0x80 are not blank.
    const std::string notBlank = "\x7f"
                                 "a\xa0";
    EXPECT_EQ(trim(notBlank), notBlank);
}

TEST(Text, CutsAndSearchesWithinTheView)
{
    EXPECT_EQ(substring("GET /x HTTP/1.1", 5, 6), "x");
    EXPECT_EQ(substring("abc", 1, 100), "bc");
    EXPECT_EQ(substring("abc", 2, 2), "");
    EXPECT_EQ(substring("abc", 3, 1), "");
    EXPECT_EQ(substring("abc", -5, 2), "ab");
    EXPECT_EQ(find("bytes=0-9", '-', 6, -1), 7);
    EXPECT_EQ(find("bytes=0-9", '-', 8, -1), -1);
    EXPECT_EQ(find("abc", 'c', 3, -7), -7);
    EXPECT_TRUE(startsWith("GET /", "GET "));
    EXPECT_TRUE(startsWith("GET ", "GET ")); // a bare "Range:" line is a range line
    EXPECT_FALSE(startsWith("GET", "GET "));
    EXPECT_FALSE(startsWith("get /", "GET "));
    EXPECT_TRUE(startsWith("x", ""));
    // A view of part of a buffer: nothing beyond its length is looked at.
    const char buffer[] = "Range: bytes=1-2";
    StringRef head(buffer, 5);
    EXPECT_EQ(std::string(head), "Range");
    EXPECT_FALSE(startsWith(head, "Range:"));
    EXPECT_EQ(find(head, ':', 0, -1), -1);
    EXPECT_EQ(substring(head, 0, 100), "Range");
    EXPECT_EQ(StringRef("a\0b").size(), 3);
}
