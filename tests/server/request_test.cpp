#include "server/request.hpp"

#include "core/file.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

ByteRange rangeAfter(int64_t size, std::initializer_list<const char*> lines)
{
    ByteRange range = {0, size, false, {}};
    for (const char* line : lines)
        applyRangeLine(line, range);
    return range;
}

void expectRange(const ByteRange& range, int64_t start, int64_t end)
{
    EXPECT_TRUE(range.ranged);
    EXPECT_EQ(range.start, start);
    EXPECT_EQ(range.end, end);
}

} // namespace

TEST(RequestLine, AcceptsOnlyGetAndHeadWithASlashAndASpaceAfterThePath)
{
    std::string path = "unchanged";
    bool headOnly = true;
    EXPECT_TRUE(parseRequestLine("GET / HTTP/1.1", path, headOnly));
    EXPECT_EQ(path, "");
    EXPECT_FALSE(headOnly);
    EXPECT_TRUE(parseRequestLine("HEAD /a%20b.html?v=2?x HTTP/1.1", path, headOnly));
    EXPECT_EQ(path, "a%20b.html");
    EXPECT_TRUE(headOnly);
    EXPECT_TRUE(parseRequestLine("GET /a%3Fb.html HTTP/1.1?", path, headOnly));
    EXPECT_EQ(path, "a%3Fb.html");
    for (const char* line : {"head / HTTP/1.1", "HEAD  / HTTP/1.1", "HEAD /x", "get / HTTP/1.1",
                             "POST /x HTTP/1.1", "GET /index.html", "GET index.html HTTP/1.1",
                             "GET  /index.html HTTP/1.1", "GET", "GETX / HTTP/1.1"}) {
        path = "unchanged";
        EXPECT_FALSE(parseRequestLine(line, path, headOnly)) << line;
        EXPECT_EQ(path, "unchanged") << line;
    }
}

TEST(PercentDecoding, DecodesFromTheEndAndAByteItMadeCanBeAFigureOfAPercentBefore)
{
    EXPECT_EQ(percentDecode("%2541"), "%41");
    EXPECT_EQ(percentDecode("%%41"), "\n"); // %41 is 'A', then "%A" is 10
    EXPECT_EQ(percentDecode("a%20b.html"), "a b.html");
    EXPECT_EQ(percentDecode("%41%4a%4A"), "AJJ");
    EXPECT_EQ(percentDecode("docs%2Fa.html"), "docs/a.html");
    EXPECT_EQ(percentDecode("a+b"), "a+b");
}

TEST(PercentDecoding, TakesWhatTheHexReaderMakesOfBadFigures)
{
    EXPECT_EQ(percentDecode("%4g"), std::string("\x04", 1));
    EXPECT_EQ(percentDecode("x%zzy"), std::string("x\0y", 3));
    EXPECT_EQ(percentDecode("%g1"), std::string("\0", 1));
}

TEST(PercentDecoding, LeavesAPercentAmongTheLastTwoBytes)
{
    EXPECT_EQ(percentDecode("a%4"), "a%4");
    EXPECT_EQ(percentDecode("ab%"), "ab%");
    EXPECT_EQ(percentDecode("%"), "%");
    EXPECT_EQ(percentDecode("%4"), "%4");
    EXPECT_EQ(percentDecode(""), "");
}

TEST(PercentDecoding, NeverReadsPastTextThatALaterReplacementShortened)
{
    // '%41' becomes 'A' first; the '%' before it then sees only 'A' and the end: 0x0A.
    EXPECT_EQ(percentDecode("%%41"), "\n");
    EXPECT_EQ(percentDecode("x%%%41"), std::string("x\0", 2));
}

TEST(Confinement, RefusesRootsParentElementsAndNulBytes)
{
    for (const char* path : {"/etc/passwd", "//etc/passwd", "..", "../x", "docs/../../x", "docs/..",
                             "a/../b", "docs/../", "../"}) {
        EXPECT_FALSE(isConfined(path)) << path;
    }
    EXPECT_FALSE(isConfined(std::string("secret.txt\0.html", 16)));
}

TEST(Confinement, AcceptsNamesThatOnlyLookLikeParents)
{
    for (const char* path :
         {"", "index.html", "docs/", "docs/img/x.png", "..a", "docs/..hidden", "./docs", "a//b"}) {
        EXPECT_TRUE(isConfined(path)) << path;
    }
    // Windows strips the trailing dots and reads '\\' as a separator: the platform decides.
    for (const char* path : {"...", "a..", "a\\..\\b"})
        EXPECT_EQ(isConfined(path), vexa::opensAsWritten(path)) << path;
}

TEST(Confinement, AsksThePlatformAboutEveryElement)
{
    for (const char* path : {"con.html", "docs/con.html", "docs/con.html/x", "a:b/c", "docs/aux"})
        EXPECT_EQ(isConfined(path), vexa::opensAsWritten("con.html")) << path;
}

TEST(RangeRule, HandlesTheThreeFormsWithTheNameAndUnitInAnyCase)
{
    expectRange(rangeAfter(1000, {"range: bytes=0-99"}), 0, 100);
    expectRange(rangeAfter(1000, {"RANGE:BYTES=900-"}), 900, 1000);
    expectRange(rangeAfter(1000, {"Range: \t Bytes=-100 \t"}), 900, 1000);
    expectRange(rangeAfter(1000, {"Range: bytes=500-5000"}), 500, 1000);
    expectRange(rangeAfter(1000, {"Range: bytes=-5000"}), 0, 1000);
}

TEST(RangeRule, UsesOnlyTheFirstRangeOfAList)
{
    expectRange(rangeAfter(1000, {"Range: bytes=0-99,200-299"}), 0, 100);
    expectRange(rangeAfter(1000, {"Range: bytes=-10 , 0-5"}), 990, 1000);
}

TEST(RangeRule, AppliesSeveralLinesInTurn)
{
    expectRange(rangeAfter(1000, {"Range: bytes=100-499", "Range: bytes=-50"}), 450, 500);
    ByteRange last = rangeAfter(1000, {"Range: bytes=0-99", "Range:  Bytes=50- ", "Range: x"});
    expectRange(last, 50, 100);
    EXPECT_EQ(last.asked, "Bytes=50-");
}

TEST(RangeRule, IgnoresALineThatIsNoValidFirstRangeOfBytes)
{
    for (const char* line :
         {"Range:", "Range: bytes=100", "Range: items=2-3", "Range: bytes=abc",
          "Range: bytes=0x2-0x3", "Range: bytes=-", "Range: bytes=1-2-3", "Range: bytes=+1-2",
          "Range: bytes= 1-2", "Range : bytes=1-2", "Range: bytes=--9223372036854775808"}) {
        ByteRange range = rangeAfter(1000, {line});
        EXPECT_TRUE(!range.ranged && range.start == 0 && range.end == 1000) << line;
    }
}

TEST(RangeRule, SelectsNothingWhenStartIsNotBelowEnd)
{
    ByteRange past = rangeAfter(1000, {"Range: bytes=5000-"});
    EXPECT_GE(past.start, past.end);
    ByteRange reversed = rangeAfter(1000, {"Range: bytes=50-20"});
    EXPECT_GE(reversed.start, reversed.end);
    ByteRange none = rangeAfter(1000, {"Range: bytes=-0"});
    EXPECT_GE(none.start, none.end);
    expectRange(rangeAfter(0, {"Range: bytes=0-0"}), 0, 0);
}

TEST(RangeRule, KeepsOverflowSizedNumbersInsideTheFile)
{
    // Numbers beyond 64 bits saturate; nothing may wrap into a range before the end.
    ByteRange huge = rangeAfter(1000, {"Range: bytes=0-99999999999999999999999"});
    expectRange(huge, 0, 1000);
    ByteRange last = rangeAfter(1000, {"Range: bytes=0-9223372036854775807"});
    expectRange(last, 0, 1000);
    ByteRange suffix = rangeAfter(1000, {"Range: bytes=-99999999999999999999999"});
    expectRange(suffix, 0, 1000);
    ByteRange start = rangeAfter(1000, {"Range: bytes=99999999999999999999999-"});
    EXPECT_GE(start.start, start.end);
}

TEST(RangeRule, WorksPastFourGibibytes)
{
    const int64_t size = 5LL << 30;
    expectRange(rangeAfter(size, {"Range: bytes=4294967296-4294967305"}), 4294967296LL,
                4294967306LL);
    expectRange(rangeAfter(size, {"Range: bytes=-10"}), size - 10, size);
}
