#include "core/buffered_reader.hpp"

#include "core/exceptions.hpp"
#include "tests/support/fake_device.hpp"

#include <gtest/gtest.h>

using namespace vexa;
using harnow_test::FakeDevice;

namespace {

const char REQUEST[] = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

// The code of the DataException that readLine raises, or -1 when it returns a line.
int32_t dataFailure(BufferedReader& reader)
{
    try {
        reader.readLine();
    } catch (const DataException& e) {
        return e.code;
    }
    return -1;
}

} // namespace

TEST(BufferedReader, ReadsAllLinesOfOneChunkWithOneRead)
{
    Pointer<FakeDevice> device(new FakeDevice);
    device->bytes(REQUEST);
    BufferedReader reader(device, false, 1024);
    EXPECT_EQ(device->reads, 0); // constructing reads nothing
    EXPECT_EQ(reader.readLine(), "GET / HTTP/1.1");
    EXPECT_EQ(reader.readLine(), "Host: x");
    EXPECT_EQ(reader.readLine(), "");
    EXPECT_EQ(device->reads, 1);
}

TEST(BufferedReader, ReadsTheSameLinesOneByteAtATime)
{
    Pointer<FakeDevice> device(new FakeDevice);
    for (char c : std::string(REQUEST))
        device->bytes(std::string(1, c));
    BufferedReader reader(device, false, 1024);
    EXPECT_EQ(reader.readLine(), "GET / HTTP/1.1");
    EXPECT_EQ(reader.readLine(), "Host: x");
    EXPECT_EQ(reader.readLine(), "");
}

TEST(BufferedReader, ReturnsALineLongerThanItsBufferWhole)
{
    std::string line(3000, 'a');
    for (std::size_t i = 0; i < line.size(); i += 7)
        line[i] = char('b' + i % 20);
    Pointer<FakeDevice> device(new FakeDevice);
    device->bytes("  " + line + "\r\n  x  \r\nrest\n");
    BufferedReader reader(device, false, 1024);
    EXPECT_EQ(reader.readLine(), line);
    EXPECT_EQ(reader.readLine(), "x");
    EXPECT_EQ(reader.readLine(), "rest");
}

TEST(BufferedReader, EndOfStreamMidLineRaisesAndKeepsRaising)
{
    Pointer<FakeDevice> device(new FakeDevice);
    device->bytes("abc");
    BufferedReader reader(device, false, 1024);
    EXPECT_EQ(dataFailure(reader), DataException::UNEXPECTED_END_OF_FILE);
    EXPECT_EQ(dataFailure(reader), DataException::UNEXPECTED_END_OF_FILE);

    Pointer<FakeDevice> silent(new FakeDevice);
    BufferedReader nothing(silent, false, 1024);
    EXPECT_EQ(dataFailure(nothing), DataException::UNEXPECTED_END_OF_FILE);
}

TEST(BufferedReader, CapsLinesAt8192Bytes)
{
    Pointer<FakeDevice> device(new FakeDevice);
    device->bytes(std::string(8192, 'x') + "\n" + std::string(8193, 'y') + "\n");
    BufferedReader reader(device, false, 1024);
    EXPECT_EQ(reader.readLine().size(), 8192u);
    EXPECT_EQ(dataFailure(reader), DataException::DATA_CORRUPT);

    // A peer that never sends a line feed is cut off after about that much.
    Pointer<FakeDevice> endless(new FakeDevice);
    for (int i = 0; i < 1000; ++i)
        endless->bytes(std::string(1024, 'z'));
    BufferedReader capped(endless, false, 1024);
    EXPECT_EQ(dataFailure(capped), DataException::DATA_CORRUPT);
    EXPECT_LE(endless->reads, 9);
}

TEST(BufferedReader, AnEmptyReadWithoutEndOfStreamRaisesInsteadOfReusingOldBytes)
{
    Pointer<FakeDevice> device(new FakeDevice);
    device->bytes("first\n").nothing().bytes("second\n");
    BufferedReader reader(device, false, 1024);
    EXPECT_EQ(reader.readLine(), "first");
    EXPECT_NE(dataFailure(reader), -1);
    EXPECT_EQ(reader.readLine(), "second");
}

TEST(BufferedReader, PassesDeviceFailuresThroughAndLosesNoBufferedByte)
{
    Pointer<FakeDevice> device(new FakeDevice);
    device->bytes("a\n").raise(NetworkException::CONNECTION_CLOSED).bytes("b\nbcdefg");
    device->raise(NetworkException::NETWORK_ERROR).bytes("h\n");
    BufferedReader reader(device, false, 8);
    EXPECT_EQ(reader.readLine(), "a");
    try {
        reader.readLine();
        FAIL() << "nothing raised";
    } catch (const NetworkException& e) {
        EXPECT_EQ(e.code, NetworkException::CONNECTION_CLOSED);
    }
    EXPECT_EQ(reader.readLine(), "b");
    // A refill with bytes still unread moves them to the front before it reads; a read that
    // raises then must leave them where the reader will look.
    EXPECT_THROW(reader.refill(), NetworkException);
    EXPECT_EQ(reader.readLine(), "bcdefgh");
}
