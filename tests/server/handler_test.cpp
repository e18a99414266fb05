#include "server/handler.hpp"

#include "core/exceptions.hpp"
#include "server/content_types.hpp"
#include "tests/server/fakes.hpp"
#include "tests/support/fake_device.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using harnow_test::FakeDevice;
using vexa::File;
using vexa::FileException;
using vexa::Pointer;

namespace {

const std::string NOT_FOUND = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";

// ConnectionSettings::open is a plain function, so the file it hands out is kept here.
Pointer<File> nextFile;
std::vector<std::string> openedPaths;

Pointer<File> openScripted(const std::string& path, int32_t)
{
    openedPaths.push_back(path);
    if (!nextFile)
        throw FileException(FileException::FILE_NOT_FOUND);
    return nextFile;
}

std::string pattern(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = char('a' + i % 23);
    return text;
}

std::string fileHeader(const std::string& length, const std::string& type)
{
    return "HTTP/1.1 200 OK\r\nConnection: close\r\nAccept-Ranges: bytes\r\nContent-Length: " +
           length + "\r\nContent-Type: " + type + "\r\n\r\n";
}

// Long replies: say where they part instead of printing kilobytes.
void expectSameBytes(const std::string& actual, const std::string& expected)
{
    std::size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    EXPECT_TRUE(actual == expected)
        << "sizes " << actual.size() << " and " << expected.size() << ", first difference at " << at
        << ": " << testing::PrintToString(actual.substr(at, 60)) << " instead of "
        << testing::PrintToString(expected.substr(at, 60));
}

class Handler : public harnow_test::TempDirTest
{
protected:
    Handler()
    {
        if (contentTypes.empty())
            fillContentTypes();
    }

    void TearDown() override
    {
        nextFile.reset();
        openedPaths.clear();
    }

    // Serves the request given in pieces, one piece per read.
    Pointer<FakeDevice> serve(std::vector<std::string> pieces,
                              Pointer<File> (*open)(const std::string&, int32_t) = openScripted)
    {
        Pointer<FakeDevice> connection(new FakeDevice);
        for (std::string& piece : pieces)
            connection->bytes(std::move(piece));
        ConnectionSettings settings = defaultSettings;
        settings.open = open;
        serveConnection(connection, settings);
        return connection;
    }

    Pointer<FakeDevice> get(const std::string& rawPath)
    {
        return serve({"GET " + rawPath + " HTTP/1.1\r\nHost: x\r\n\r\n"});
    }

    CapturedConsole console;
};

} // namespace

TEST_F(Handler, SendsOneRangeWithItsExactHeader)
{
    std::string content = pattern(1000);
    nextFile = Pointer<File>(new FakeFile(content));
    auto connection =
        serve({"GET /media/clip.ogv HT", "TP/1.1\r\nHost: x\r\nrange: bytes=100", "-199\r\n\r\n"});

    EXPECT_EQ(connection->written, "HTTP/1.1 206 Partial Content\r\nConnection: close\r\n"
                                   "Accept-Ranges: bytes\r\nContent-Length: 100\r\n"
                                   "Content-Range: bytes 100-199/1000\r\n"
                                   "Content-Type: video/ogg\r\n\r\n" +
                                       content.substr(100, 100));
    EXPECT_EQ(openedPaths, std::vector<std::string>{"media/clip.ogv"});
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"\"media/clip.ogv\" (100-199/1000) video/ogg"});
    EXPECT_EQ(connection->getState(), 0u);
}

TEST_F(Handler, SendsAWholeFileInChunksOfAtMost4096Bytes)
{
    std::string content = pattern(10000);
    FakeFile* file = new FakeFile(content);
    nextFile = Pointer<File>(file);
    auto connection = get("/big.bin");

    expectSameBytes(connection->written, fileHeader("10000", "application/octet-stream") + content);
    EXPECT_EQ(file->largestRead, 4096u);
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"\"big.bin\" (10000) application/octet-stream"});
}

TEST_F(Handler, FinishesAReplyThatTheConnectionTakesInPieces)
{
    std::string content = pattern(5000);
    nextFile = Pointer<File>(new FakeFile(content));
    Pointer<FakeDevice> connection(new FakeDevice);
    connection->bytes("GET /big.bin HTTP/1.1\r\n\r\n");
    connection->maxWrite = 7;
    ConnectionSettings settings = defaultSettings;
    settings.open = openScripted;
    serveConnection(connection, settings);
    expectSameBytes(connection->written, fileHeader("5000", "application/octet-stream") + content);
}

TEST_F(Handler, CutsTheReplyShortWhenTheFileFailsMidBody)
{
    // Appending the 404 here would hand the client 45 foreign bytes as part of its file.
    std::string content = pattern(10000);
    nextFile = Pointer<File>(new FakeFile(content, 5000));
    auto connection = get("/big.bin");

    expectSameBytes(connection->written,
                    fileHeader("10000", "application/octet-stream") + content.substr(0, 5000));
    std::vector<std::string> lines = {"\"big.bin\" (10000) application/octet-stream",
                                      "error: input/output error for \"big.bin\""};
    EXPECT_EQ(console.lines(), lines);
    EXPECT_EQ(connection->getState(), 0u);
}

TEST_F(Handler, CutsTheReplyShortWhenTheFileShrank)
{
    std::string content = pattern(1000);
    FakeFile* file = new FakeFile(content);
    file->claimSize(3000);
    nextFile = Pointer<File>(file);
    auto connection = get("/page.html");

    expectSameBytes(connection->written, fileHeader("3000", "text/html") + content);
    std::vector<std::string> lines = {"\"page.html\" (3000) text/html",
                                      "error: unexpected end of file for \"page.html\""};
    EXPECT_EQ(console.lines(), lines);
    EXPECT_EQ(connection->getState(), 0u);
}

TEST_F(Handler, AnswersAFileThatCannotBeOpenedWithTheBare404)
{
    auto connection = get("/missing.html");

    EXPECT_EQ(connection->written, NOT_FOUND);
    EXPECT_EQ(connection->written.size(), 45u);
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"error: file not found for \"missing.html\""});
    EXPECT_EQ(connection->getState(), 0u);
}

TEST_F(Handler, AnswersAnUnsatisfiableRangeWith416AndReadsNothing)
{
    // The console shows the range as asked: what it leaves of the file has its ends reversed.
    struct Case
    {
        std::size_t size;
        const char* request;
        const char* line;
    };
    for (const Case& c :
         {Case{1000, "GET /f.bin HTTP/1.1\r\nRange: bytes=5000-", "bytes=5000- of 1000"},
          Case{1000, "HEAD /f.bin HTTP/1.1\r\nRange: bytes=50-20", "bytes=50-20 of 1000"},
          Case{1000, "GET /f.bin HTTP/1.1\r\nRange: bYtes=1000-\x1b,0-1 ",
               "bYtes=1000-\\x1b,0-1 of 1000"},
          Case{0, "GET /f.bin HTTP/1.1\r\nRange: bytes=0-0", "bytes=0-0 of 0"}}) {
        FakeFile* file = new FakeFile(pattern(c.size));
        nextFile = Pointer<File>(file);
        auto connection = serve({std::string(c.request) + "\r\n\r\n"});
        EXPECT_EQ(connection->written, "HTTP/1.1 416 Range Not Satisfiable\r\nConnection: close\r\n"
                                       "Content-Range: bytes */" +
                                           std::to_string(c.size) + "\r\n\r\n")
            << c.request;
        EXPECT_EQ(file->reads, 0) << c.request;
        EXPECT_EQ(console.lines().back(),
                  "\"f.bin\" (" + std::string(c.line) + ") not satisfiable");
    }
}

TEST_F(Handler, ClosesWithNothingWrittenAfterMoreThan100HeaderLines)
{
    std::string head = "GET /f.html HTTP/1.1\r\n";
    for (int i = 0; i < 100; ++i)
        head += "X-Line: " + std::to_string(i) + "\r\n";

    nextFile = Pointer<File>(new FakeFile("hi"));
    EXPECT_EQ(serve({head + "\r\n"})->written, fileHeader("2", "text/html") + "hi");

    nextFile = Pointer<File>(new FakeFile("hi"));
    auto refused = serve({head + "X-Line: one too many\r\n\r\n"});
    EXPECT_EQ(refused->written, "");
    EXPECT_EQ(console.lines().back(), "error: data corrupt");
}

// Windows has no FIFOs, no /dev and no symbolic links a test may make, and it keeps a working
// directory from being removed.
#ifndef _WIN32
TEST_F(Handler, AnswersAFifoOrADeviceWith404WithoutOpeningIt)
{
    // Opening a FIFO would block the thread for ever, and a device never ends.
    ASSERT_EQ(mkfifo("pipe.html", 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", "zero.bin"), 0);
    EXPECT_EQ(get("/pipe.html")->written, NOT_FOUND);
    EXPECT_EQ(get("/zero.bin")->written, NOT_FOUND);
    EXPECT_TRUE(openedPaths.empty());
    std::vector<std::string> lines = {"error: access denied for \"pipe.html\"",
                                      "error: access denied for \"zero.bin\""};
    EXPECT_EQ(console.lines(), lines);
}

TEST_F(Handler, AnswersAPathThatCannotBeExaminedWith404)
{
    // Each in the house form, the path quoted and escaped like any other.
    ASSERT_EQ(symlink("loop", "loop"), 0);
    std::string tooLong(300, 'n');
    struct Case
    {
        std::string rawPath;
        std::string line;
    };
    for (const Case& c :
         {Case{"/loop", "error: input/output error for \"loop\""},
          Case{"/loop/a.html", "error: input/output error for \"loop/a.html\""},
          Case{"/%26%01" + tooLong, "error: input/output error for \"&&\\x01" + tooLong + "\""}}) {
        EXPECT_EQ(get(c.rawPath)->written, NOT_FOUND) << c.rawPath;
        EXPECT_EQ(console.lines().back(), c.line);
    }

    // A served directory that was removed.
    boost::filesystem::create_directory("served");
    harnow_test::ScopedCurrentPath inside("served");
    boost::filesystem::remove(boost::filesystem::current_path());
    EXPECT_EQ(get("/")->written, NOT_FOUND);
    EXPECT_EQ(console.lines().back(), "error: file not found for \"\"");
}
#endif

TEST_F(Handler, RefusesAPathThatLeavesTheServedDirectoryWithoutOpeningIt)
{
    EXPECT_EQ(get("/../x")->written, NOT_FOUND);
    EXPECT_TRUE(openedPaths.empty());
    EXPECT_EQ(console.lines(), std::vector<std::string>{"error: access denied for \"../x\""});
}

TEST_F(Handler, ReportsAClientThatEndsTheRequestEarly)
{
    EXPECT_EQ(serve({})->written, "");
    nextFile = Pointer<File>(new FakeFile("hi"));
    EXPECT_EQ(serve({"GET /f.html HTTP/1.1\r\nHost: x"})->written, "");
    std::vector<std::string> lines = {"error: unexpected end of file",
                                      "error: unexpected end of file"};
    EXPECT_EQ(console.lines(), lines);
}
