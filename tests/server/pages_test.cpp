#include "server/pages.hpp"

#include "server/content_types.hpp"
#include "tests/server/fakes.hpp"
#include "tests/support/fake_device.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>

using harnow_test::FakeDevice;
using vexa::Pointer;

namespace {

class Listing : public harnow_test::TempDirTest
{
protected:
    Listing()
    {
        if (contentTypes.empty())
            fillContentTypes();
    }

    std::string page(std::size_t heldNames)
    {
        Pointer<FakeDevice> connection(new FakeDevice);
        sendDirectoryListing(connection, "mixed", heldNames);
        return connection->written;
    }

    CapturedConsole console;
};

TEST_F(Listing, ALargeDirectoryReadTwiceGivesTheSamePageAsOneHeldInMemory)
{
    // Sub-directories and files interleaved, in whatever order the directory keeps them.
    for (const char* name : {"b.html", "d.jpg", "e.txt", "f.css", "h.mp4", "j.HTML"})
        writeFile(std::string("mixed/") + name, "x");
    for (const char* name : {"a", "c", "g"})
        writeFile(std::string("mixed/") + name + "/inside.html", "x");

    std::string held = page(4096);
    EXPECT_EQ(page(4), held); // exactly as many names as may be held
    EXPECT_EQ(page(3), held); // one too many: read twice
    EXPECT_EQ(page(0), held);

    // Every sub-directory before every file, and only files of a listed type.
    std::size_t lastDirectory = 0, firstFile = std::string::npos;
    for (const char* name : {"a", "c", "g"})
        lastDirectory = std::max(lastDirectory, held.find(std::string(">") + name + "</a>"));
    for (const char* name : {"b.html", "d.jpg", "f.css", "h.mp4"}) {
        std::size_t at = held.find(std::string(">") + name + "</a>");
        ASSERT_NE(at, std::string::npos) << name;
        firstFile = std::min(firstFile, at);
    }
    EXPECT_LT(lastDirectory, firstFile);
    EXPECT_EQ(held.find("e.txt"), std::string::npos);
    EXPECT_EQ(held.find("j.HTML"), std::string::npos);
}

} // namespace
