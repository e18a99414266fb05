// The time limits and the graceful close, over a real socket pair.
#include "server/handler.hpp"

#include "core/exceptions.hpp"
#include "core/platform/posix/posix_socket.hpp"
#include "server/content_types.hpp"
#include "tests/server/fakes.hpp"
#include "tests/support/temp_dir.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using vexa::Pointer;

namespace {

using Clock = std::chrono::steady_clock;

ConnectionSettings shortSettings()
{
    ConnectionSettings settings = defaultSettings;
    settings.idleMillis = 300;
    settings.requestMillis = 1500;
    settings.writeMillis = 300;
    settings.drainMillis = 2000;
    return settings;
}

Pointer<vexa::File> openLargeFile(const std::string&, int32_t)
{
    return Pointer<vexa::File>(new FakeFile(std::string(16 << 20, 'x')));
}

// What the client end receives until the server's end closes: the bytes, and whether the
// stream ended cleanly (false for a reset or when nothing ends it within the wait).
struct Received
{
    std::string bytes;
    bool cleanEnd = false;
};

Received receiveAll(int descriptor, int waitMillis)
{
    Received received;
    auto deadline = Clock::now() + std::chrono::milliseconds(waitMillis);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready = {descriptor, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, int(left.count())) <= 0)
            return received;
        char buffer[4096];
        ssize_t n = recv(descriptor, buffer, sizeof buffer, 0);
        if (n <= 0) {
            received.cleanEnd = n == 0;
            return received;
        }
        received.bytes.append(buffer, std::size_t(n));
    }
}

class Limits : public harnow_test::TempDirTest
{
protected:
    void SetUp() override
    {
        if (contentTypes.empty())
            fillContentTypes();
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, m_ends), 0);
    }
    void TearDown() override
    {
        if (m_ends[1] >= 0)
            close(m_ends[1]);
    }

    // Serves the server's end on a thread of its own; the client end stays with the test.
    std::future<void> startServing(const ConnectionSettings& settings)
    {
        Pointer<vexa::IODevice> connection = vexa::adoptSocket(m_ends[0]);
        // Moved in, so the socket closes when the handler lets it go, not with the future.
        return std::async(std::launch::async, [connection, settings]() mutable {
            serveConnection(std::move(connection), settings);
        });
    }

    // A stuck handler must not hang the run: ending the client side lets it return.
    bool endsWithin(std::future<void>& served, int seconds)
    {
        bool ended = served.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready;
        if (!ended)
            shutdown(client(), SHUT_RDWR);
        served.wait();
        return ended;
    }

    int client() const { return m_ends[1]; }

    CapturedConsole console;

private:
    int m_ends[2] = {-1, -1};
};

} // namespace

TEST_F(Limits, DropsAClientThatSendsNothing)
{
    auto served = startServing(shortSettings());
    EXPECT_TRUE(endsWithin(served, 30));
    EXPECT_EQ(console.lines(), std::vector<std::string>{"error: network error"});
    Received received = receiveAll(client(), 5000);
    EXPECT_EQ(received.bytes, "");
}

TEST_F(Limits, DropsAClientThatTricklesPastTheOverallLimit)
{
    // One byte well inside the idle limit, for far longer than the request may take.
    auto served = startServing(shortSettings());
    std::string request = "GET /" + std::string(400, 'a');
    auto start = Clock::now();
    bool sentAll = true;
    for (char c : request) {
        if (served.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready ||
            send(client(), &c, 1, MSG_NOSIGNAL) != 1) {
            sentAll = false;
            break;
        }
    }
    EXPECT_FALSE(sentAll)
        << "the handler was still reading after "
        << std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count() << " s";
    EXPECT_TRUE(endsWithin(served, 30));
    EXPECT_EQ(console.lines(), std::vector<std::string>{"error: network error"});
}

TEST_F(Limits, GivesUpOnAClientThatStopsReadingTheReply)
{
    ConnectionSettings settings = shortSettings();
    settings.open = openLargeFile;
    std::string request = "GET /large.bin HTTP/1.1\r\n\r\n";
    ASSERT_EQ(send(client(), request.data(), request.size(), 0), ssize_t(request.size()));
    auto served = startServing(settings);
    EXPECT_TRUE(endsWithin(served, 30));
    std::vector<std::string> lines = {"\"large.bin\" (16777216) application/octet-stream",
                                      "error: network error"};
    EXPECT_EQ(console.lines(), lines);
}

TEST_F(Limits, ClosesGracefullyOverUnreadRequestBytes)
{
    // Closing over unread bytes would reset the connection and could destroy the reply.
    std::string request = "GET /missing.html HTTP/1.1\r\nCookie: ";
    request += std::string(4096 - request.size() - 4, 'c') + "\r\n\r\n";
    ASSERT_EQ(send(client(), request.data(), request.size(), 0), ssize_t(request.size()));
    auto served = startServing(shortSettings());

    Received received = receiveAll(client(), 10000);
    EXPECT_EQ(received.bytes, "HTTP/1.1 404 Not Found\nConnection: close\n\n");
    EXPECT_TRUE(received.cleanEnd);
    shutdown(client(), SHUT_WR);
    EXPECT_TRUE(endsWithin(served, 30));
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"error: file not found for \"missing.html\""});
}

TEST_F(Limits, StopsDrainingAClientThatNeverCloses)
{
    std::string request = "GET /missing.html HTTP/1.1\r\n\r\n";
    ASSERT_EQ(send(client(), request.data(), request.size(), 0), ssize_t(request.size()));
    ConnectionSettings settings = shortSettings();
    settings.drainMillis = 200;
    auto served = startServing(settings);
    EXPECT_TRUE(endsWithin(served, 30));
    Received received = receiveAll(client(), 5000);
    EXPECT_EQ(received.bytes, "HTTP/1.1 404 Not Found\nConnection: close\n\n");
    EXPECT_TRUE(received.cleanEnd);
}
