#include "core/platform/posix_file.hpp"

#include "core/exceptions.hpp"
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

std::string readAll(File& file)
{
    char buffer[64];
    uint32_t n = file.read(buffer, sizeof buffer);
    return std::string(buffer, n);
}

class FileTest : public harnow_test::TempDirTest
{
};

} // namespace

TEST_F(FileTest, TheModeFlagsPickOneOfFourDispositions)
{
    // READ: existing files only, left as they are.
    EXPECT_EQ(failureCode<FileException>([] { openFile("missing", File::READ); }),
              FileException::FILE_NOT_FOUND);
    writeFile("kept", "hello");
    EXPECT_EQ(readAll(*openFile("kept", File::READ)), "hello");

    // WRITE: opens or creates, keeps what is there.
    openFile("kept", File::WRITE)->write("J", 1);
    EXPECT_EQ(readFile("kept"), "Jello");
    EXPECT_EQ(openFile("made", File::WRITE)->size(), 0);
    EXPECT_TRUE(boost::filesystem::exists("made"));

    // WRITE and TRUNCATE: creates or empties.
    EXPECT_EQ(openFile("kept", File::WRITE | File::TRUNCATE)->size(), 0);
    openFile("fresh", File::READ | File::WRITE | File::TRUNCATE)->write("abc", 3);
    EXPECT_EQ(readFile("fresh"), "abc");

    // TRUNCATE alone: empties an existing file, creates nothing.
    EXPECT_EQ(openFile("fresh", File::TRUNCATE)->size(), 0);
    EXPECT_EQ(failureCode<FileException>([] { openFile("absent", File::TRUNCATE); }),
              FileException::FILE_NOT_FOUND);
    EXPECT_FALSE(boost::filesystem::exists("absent"));
}

TEST_F(FileTest, AMissingDirectoryIsNotAMissingFile)
{
    writeFile("plain", "x");
    EXPECT_EQ(failureCode<FileException>([] { openFile("nodir/file", File::READ); }),
              FileException::IO_ERROR);
    EXPECT_EQ(failureCode<FileException>([] { openFile("nodir/file", File::WRITE); }),
              FileException::IO_ERROR);
    EXPECT_EQ(failureCode<FileException>([] { openFile("plain/file", File::READ); }),
              FileException::IO_ERROR);
    boost::filesystem::create_directory("dir");
    EXPECT_EQ(failureCode<FileException>([] { openFile("dir/file", File::READ); }),
              FileException::FILE_NOT_FOUND);
    // A directory is no file, whatever the mode.
    EXPECT_EQ(failureCode<FileException>([] { openFile("dir", File::READ); }),
              FileException::ACCESS_DENIED);
    EXPECT_EQ(failureCode<FileException>([] { openFile("dir", File::WRITE); }),
              FileException::ACCESS_DENIED);
}

TEST_F(FileTest, OnlyRegularFilesAreOpenedAndAFifoIsRefusedWithoutWaiting)
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

TEST_F(FileTest, PathBytesReachTheSystemUnchanged)
{
    const std::string name = "caf\xc3\xa9 \xff.txt"; // not even valid UTF-8
    openFile(name, File::WRITE)->write("x", 1);
    struct stat status;
    EXPECT_EQ(::stat(name.c_str(), &status), 0);
}

TEST_F(FileTest, EndOfStreamDescribesTheLatestRead)
{
    writeFile("five", "hello");
    Pointer<File> file = openFile("five", File::READ);
    char buffer[16];
    EXPECT_EQ(file->read(buffer, 0), 0u);
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN));
    EXPECT_EQ(file->read(buffer, sizeof buffer), 5u); // reaches the end part-way: not yet ended
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN));
    EXPECT_EQ(file->read(buffer, 0), 0u);
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN));
    EXPECT_EQ(file->read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN | IODevice::END_OF_STREAM));
    EXPECT_EQ(file->seek(0, File::BEGIN), 0); // a seek leaves the flag alone
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN | IODevice::END_OF_STREAM));
    EXPECT_EQ(file->read(buffer, 2), 2u);
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN));
    EXPECT_EQ(file->seek(100, File::CURRENT), 102);
    EXPECT_EQ(file->read(buffer, 1), 0u);
    EXPECT_EQ(file->getState(), uint32_t(IODevice::OPEN | IODevice::END_OF_STREAM));
    EXPECT_EQ(file->seek(-1, File::END), 4);
    EXPECT_EQ(readAll(*file), "o");
}

TEST_F(FileTest, SeekingBeforeTheStartIsAnInputOutputError)
{
    writeFile("f", "abc");
    Pointer<File> file = openFile("f", File::READ);
    file->seek(2, File::BEGIN);
    EXPECT_EQ(failureCode<FileException>([&] { file->seek(-1, File::BEGIN); }),
              FileException::IO_ERROR);
    EXPECT_EQ(failureCode<FileException>([&] { file->seek(-3, File::CURRENT); }),
              FileException::IO_ERROR);
    EXPECT_EQ(file->seek(0, File::CURRENT), 2); // a failed seek does not move
}

TEST_F(FileTest, ResizeKeepsThePosition)
{
    Pointer<File> file = openFile("r", File::READ | File::WRITE);
    file->write("0123456789", 10);
    file->seek(6, File::BEGIN);
    EXPECT_EQ(file->resize(3), 6);
    EXPECT_EQ(file->size(), 3);
    EXPECT_EQ(file->seek(0, File::CURRENT), 6); // now beyond the end
    EXPECT_EQ(readAll(*file), "");
    EXPECT_EQ(file->resize(8), 6);
    EXPECT_EQ(readAll(*file), std::string(2, '\0'));
    EXPECT_EQ(failureCode<FileException>([&] { file->resize(-1); }), FileException::IO_ERROR);
}

TEST_F(FileTest, SizesBeyond32BitsComeOutWhole)
{
    const int64_t big = (int64_t(5) << 30) + 3;   // over 4 GiB
    const int64_t allOnes = int64_t(0x1FFFFFFFF); // low 32 bits all ones, not a failure
    int descriptor = ::open("sparse", O_CREAT | O_RDWR, 0644);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::ftruncate(descriptor, big), 0);
    ASSERT_EQ(::pwrite(descriptor, "end", 3, big - 3), 3);
    ::close(descriptor);

    Pointer<File> file = openFile("sparse", File::READ | File::WRITE);
    EXPECT_EQ(file->size(), big);
    EXPECT_EQ(file->seek(-3, File::END), big - 3);
    EXPECT_EQ(readAll(*file), "end");
    EXPECT_EQ(file->seek(0, File::BEGIN), 0);
    EXPECT_EQ(file->resize(allOnes), 0);
    EXPECT_EQ(file->size(), allOnes);
    EXPECT_EQ(file->seek(0, File::END), allOnes);
    EXPECT_EQ(file->write("z", 1), 1u);
    EXPECT_EQ(file->size(), allOnes + 1);
}

TEST_F(FileTest, EveryOperationAfterCloseRaisesClosed)
{
    writeFile("c", "data");
    Pointer<File> file = openFile("c", File::READ | File::WRITE);
    file->flush();
    file->close();
    EXPECT_EQ(file->getState(), 0u);
    char buffer[4];
    EXPECT_EQ(failureCode<FileException>([&] { file->read(buffer, 4); }), FileException::CLOSED);
    EXPECT_EQ(failureCode<FileException>([&] { file->write("x", 1); }), FileException::CLOSED);
    EXPECT_EQ(failureCode<FileException>([&] { file->seek(0, File::BEGIN); }),
              FileException::CLOSED);
    EXPECT_EQ(failureCode<FileException>([&] { file->resize(0); }), FileException::CLOSED);
    EXPECT_EQ(failureCode<FileException>([&] { file->size(); }), FileException::CLOSED);
    EXPECT_EQ(failureCode<FileException>([&] { file->flush(); }), FileException::CLOSED);
    EXPECT_EQ(failureCode<FileException>([&] { file->close(); }), FileException::CLOSED);
    EXPECT_EQ(readFile("c"), "data");
}

TEST_F(FileTest, DroppingTheLastHandleClosesTheFile)
{
    writeFile("h", "x");
    int before = openDescriptors();
    {
        Pointer<File> file = openFile("h", File::READ);
        EXPECT_EQ(openDescriptors(), before + 1);
    }
    EXPECT_EQ(openDescriptors(), before);
}
