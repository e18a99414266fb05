// Socket behaviour over Unix socket pairs and TCP_CORK, which only POSIX has.
#include "core/platform/posix/posix_socket.hpp"

#include "core/exceptions.hpp"
#include "tests/core/loopback.hpp"
#include "tests/support/failure.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace vexa;
using harnow_test::failureCode;

namespace {

// One end adopted as a Socket, the other a plain descriptor for the test to drive.
struct Pair
{
    Pair()
    {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            std::abort();
        socket = adoptSocket(ends[0]);
        peer = ends[1];
    }
    ~Pair() { closePeer(); }
    void closePeer()
    {
        if (peer >= 0)
            ::close(peer);
        peer = -1;
    }
    std::string peerRead()
    {
        char buffer[64];
        ssize_t n = ::recv(peer, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
    }

    Pointer<Socket> socket;
    int peer;
};

} // namespace

TEST(Socket, WritingToAVanishedPeerRaisesInsteadOfKillingTheProcess)
{
    std::signal(SIGPIPE, SIG_DFL); // a SIGPIPE would end this test process
    Pair pair;
    pair.closePeer();
    EXPECT_EQ(failureCode<NetworkException>([&] { pair.socket->write("x", 1); }),
              NetworkException::CONNECTION_CLOSED);
}

TEST(Socket, TimeLimitsRaiseNetworkErrorInsteadOfReturningZero)
{
    Pair pair;
    pair.socket->setTimeouts(50, 0);
    pair.socket->setTimeouts(-1, 50); // a negative limit leaves that direction as it was
    char buffer[16];
    EXPECT_EQ(failureCode<NetworkException>([&] { pair.socket->read(buffer, sizeof buffer); }),
              NetworkException::NETWORK_ERROR);
    EXPECT_EQ(pair.socket->getState(), uint32_t(IODevice::OPEN));

    // Nobody reads: a big write moves what fits and returns short, the next one times out.
    std::string block(16 << 20, 'x');
    uint32_t sent = pair.socket->write(block.data(), uint32_t(block.size()));
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, block.size());
    EXPECT_EQ(failureCode<NetworkException>(
                  [&] { pair.socket->write(block.data(), uint32_t(block.size())); }),
              NetworkException::NETWORK_ERROR);
}

TEST(Socket, NonBlockingWouldBlockReturnsZeroWithoutEndOfStream)
{
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends), 0);
    Pointer<Socket> socket = adoptSocket(ends[0]);
    char buffer[16];
    EXPECT_EQ(socket->read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(socket->getState(), uint32_t(IODevice::OPEN));
    ::close(ends[1]);
}

TEST(Socket, ABaseHandleKeepsTheSocketOpenAndTheLastHandleClosesIt)
{
    Pair pair;
    Pointer<IODevice> device = pair.socket;
    pair.socket = Pointer<Socket>();
    EXPECT_EQ(device->write("still", 5), 5u);
    EXPECT_EQ(pair.peerRead(), "still");
    device = Pointer<IODevice>();
    EXPECT_EQ(pair.peerRead(), ""); // end of stream: the descriptor is closed
}

TEST(Socket, CorkingASocketThatIsNotTcpChangesNothing)
{
    Pair pair;
    EXPECT_NO_THROW(pair.socket->setCork(true));
    EXPECT_EQ(pair.socket->write("sent", 4), 4u);
    EXPECT_EQ(pair.peerRead(), "sent");
}

TEST_F(LoopbackTcp, CorkedPiecesAllArriveWhenTheSenderShutsDown)
{
    Pointer<Socket> server = listener();
    Pointer<Socket> client = connectTo(localPort(*server));
    Pointer<Socket> connection = server->accept();
    int descriptor = nativeHandle(*connection);
    int corked = 0;
    socklen_t length = sizeof corked;
    connection->setCork(true);
    getsockopt(descriptor, IPPROTO_TCP, TCP_CORK, &corked, &length);
    EXPECT_EQ(corked, 1);

    for (const char* piece : {"HTTP/1.1 200 OK\n", "Connection: close\n", "\n", "body"})
        connection->write(piece, uint32_t(std::strlen(piece)));
    connection->shutdown();
    client->setTimeouts(10000, 10000); // held bytes would end the test here, not hang it
    std::string received;
    char buffer[64];
    while (uint32_t n = client->read(buffer, sizeof buffer))
        received.append(buffer, n);
    EXPECT_EQ(received, "HTTP/1.1 200 OK\nConnection: close\n\nbody");

    connection->setCork(false);
    getsockopt(descriptor, IPPROTO_TCP, TCP_CORK, &corked, &length);
    EXPECT_EQ(corked, 0);
}
