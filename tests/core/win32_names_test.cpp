// Names that Windows would open as some other file or device than the one they spell.
#include "core/file.hpp"

#include <gtest/gtest.h>

using vexa::opensAsWritten;

TEST(Win32Names, RefusesDevicesDrivesStreamsSeparatorsAndStrippedEnds)
{
    for (const char* element :
         {"CON",        "con",       "Con.html", "nul.txt",       "NUL.tar.gz", "con .txt",
          "AUX",        "prn.js",    "COM1",     "com9.mp3",      "LPT1",       "lpt9",
          "CONIN$",     "conout$.x", "C:",       "a.html::$DATA", "a:b",        "..\\x",
          "\\\\server", "a\\b",      ".. ",      "... ",          "a.",         "a ",
          "docs.",      "x*.html",   "q?.html",  "a<b",           "a>b",        "a|b",
          "a\"b",       "tab\there", "\x1b[2J",  "\xff.html",     "caf\xc3",    "conerr$",
          "COM\xc2\xb9", "lpt\xc2\xb3.txt"}) {
        EXPECT_FALSE(opensAsWritten(element)) << element;
    }
}

TEST(Win32Names, AcceptsNamesThatOnlyLookLikeDevices)
{
    for (const char* element : {"", ".", "index.html", "console.html", "con-fig.txt", "COM10",
                                "lpt0", "COMx", "auxiliary", "nul_", ".con", "a b.html",
                                "caf\xc3\xa9.css", "a&b.html", "x#y.html", "%41", "..a"}) {
        EXPECT_TRUE(opensAsWritten(element)) << element;
    }
}
