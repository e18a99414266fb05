// What only POSIX files do: FIFOs, names that are any bytes, descriptors to count.
#include "core/exceptions.hpp"
#include "core/file.hpp"
#include "tests/support/failure.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;
using harnow_test::failureCode;

namespace {

int openDescriptors()
{
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

class PosixFileTest : public harnow_test::TempDirTest
{
};

} // namespace

TEST_F(PosixFileTest, OnlyRegularFilesAreOpenedAndAFifoIsRefusedWithoutWaiting)
{
    // Judged by what was opened: a FIFO or device swapped in after a look at the path would
    // block a reader for ever or never end.
    ASSERT_EQ(::mkfifo("pipe", 0600), 0);
    int before = openDescriptors();
    auto opened = std::async(std::launch::async, [] {
        return failureCode<FileException>([] { openFile("pipe", File::READ); });
    });
    bool returned = opened.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned)
        ::close(::open("pipe", O_WRONLY)); // let the blocked open go, or the test never ends
    EXPECT_TRUE(returned);
    EXPECT_EQ(opened.get(), FileException::ACCESS_DENIED);
    for (const char* device : {"/dev/zero", "/dev/null"}) {
        EXPECT_EQ(failureCode<FileException>([&] { openFile(device, File::READ); }),
                  FileException::ACCESS_DENIED)
            << device;
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(PosixFileTest, PathBytesReachTheSystemUnchanged)
{
    const std::string name = "caf\xc3\xa9 \xff.txt"; // not even valid UTF-8
    openFile(name, File::WRITE)->write("x", 1);
    struct stat status;
    EXPECT_EQ(::stat(name.c_str(), &status), 0);
}

TEST_F(PosixFileTest, DroppingTheLastHandleClosesTheFile)
{
    writeFile("h", "x");
    int before = openDescriptors();
    {
        Pointer<File> file = openFile("h", File::READ);
        EXPECT_EQ(openDescriptors(), before + 1);
    }
    EXPECT_EQ(openDescriptors(), before);
}
