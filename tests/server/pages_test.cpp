#include "server/pages.hpp"

#include "server/content_types.hpp"
#include "tests/server/fakes.hpp"
#include "tests/support/failure.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

class Listing : public harnow_test::TempDirTest
{
protected:
    Listing()
    {
        if (contentTypes.empty())
            fillContentTypes();
    }

    // The page of "mixed", which is moved away once the page has begun: the rest of the page
    // must not notice.
    std::string page()
    {
        std::string text;
        listingPage("mixed", "mixed")([&text](const std::string& line) {
            if (line == "<body>\n") {
                EXPECT_EQ(std::rename("mixed", "moved"), 0);
            }
            text += line;
        });
        return text;
    }

    CapturedConsole console;
};

TEST_F(Listing, ListsSubDirectoriesThenFilesOfAListedTypeThroughTheOpenDirectory)
{
    // Sub-directories and files interleaved, in whatever order the directory keeps them.
    for (const char* name : {"b.html", "d.jpg", "e.txt", "f.css", "h.mp4", "j.HTML"})
        writeFile(std::string("mixed/") + name, "x");
    for (const char* name : {"a", "c", "g"})
        writeFile(std::string("mixed/") + name + "/inside.html", "x");
#ifndef _WIN32 // no symbolic links a test may make on Windows
    // Entries whose type cannot be read are left out; the page goes on.
    ASSERT_EQ(symlink("loop.html", "mixed/loop.html"), 0);
    ASSERT_EQ(symlink("nowhere", "mixed/dangling.html"), 0);
#endif

    std::string held = page();
    EXPECT_EQ(held.find("loop.html"), std::string::npos);
    EXPECT_EQ(held.find("dangling.html"), std::string::npos);
    EXPECT_EQ(held.substr(held.size() - 8), "</html>\n");

    // Every sub-directory before every file, and only files of a listed type.
    std::size_t lastDirectory = 0, firstFile = std::string::npos;
    for (const char* name : {"a", "c", "g"})
        lastDirectory = std::max(lastDirectory, held.find(std::string(">") + name + "</a>"));
    for (const char* name : {"b.html", "d.jpg", "f.css", "h.mp4", "j.HTML"}) {
        std::size_t at = held.find(std::string(">") + name + "</a>");
        ASSERT_NE(at, std::string::npos) << name;
        firstFile = std::min(firstFile, at);
    }
    EXPECT_LT(lastDirectory, firstFile);
    EXPECT_EQ(held.find("e.txt"), std::string::npos);
}

TEST_F(Listing, ADirectoryThatCannotBeReadRaisesBeforeTheFirstLineAndPrintsNothing)
{
    // The handler then answers with the 404 and its own console line, never a page cut short.
    writeFile("file.html", "x");
    struct Case
    {
        const char* path;
        int32_t code;
    };
    std::vector<Case> cases = {{"file.html", vexa::FileException::IO_ERROR}};
#ifndef _WIN32 // Windows says "path not found" of a missing directory, and has no link loops
    ASSERT_EQ(symlink("loop", "loop"), 0);
    cases.push_back({"gone", vexa::FileException::FILE_NOT_FOUND});
    cases.push_back({"loop", vexa::FileException::IO_ERROR});
#endif
    for (const Case& c : cases) {
        EXPECT_EQ(
            harnow_test::failureCode<vexa::FileException>([&] { listingPage(c.path, c.path); }),
            c.code)
            << c.path;
    }
    EXPECT_EQ(console.lines(), std::vector<std::string>());
}

} // namespace
