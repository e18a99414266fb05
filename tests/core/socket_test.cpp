// Sockets over real TCP, on every platform.
#include "core/exceptions.hpp"
#include "tests/core/loopback.hpp"
#include "tests/support/failure.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace vexa;
using harnow_test::failureCode;

TEST(Socket, UnknownTypeCreatesNothing)
{
    EXPECT_EQ(failureCode<NetworkException>([] { createSocket(7, 0); }),
              NetworkException::NETWORK_ERROR);
}

TEST_F(LoopbackTcp, AcceptReportsThePeerAddressAndPort)
{
    Pointer<Socket> server = listener();
    Pointer<Socket> client = connectTo(localPort(*server));
    std::string address;
    int32_t port = 0;
    Pointer<Socket> connection = server->accept(address, port);
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, localPort(*client));
    EXPECT_EQ(connection->getState(), uint32_t(IODevice::OPEN));
}

TEST_F(LoopbackTcp, AResetPeerGivesConnectionClosedByPeer)
{
    Pointer<Socket> server = listener();
    Pointer<Socket> client = connectTo(localPort(*server));
    Pointer<Socket> connection = server->accept();
    linger abort = {1, 0}; // close with a reset instead of an orderly end
    setsockopt(nativeHandle(*client), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
               sizeof abort);
    client->close();
    char buffer[16];
    EXPECT_EQ(failureCode<NetworkException>([&] { connection->read(buffer, sizeof buffer); }),
              NetworkException::CONNECTION_CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { connection->write("x", 1); }),
              NetworkException::CONNECTION_CLOSED);
}

TEST_F(LoopbackTcp, APortHeldByAListenerIsInUseDespiteAddressReuse)
{
    Pointer<Socket> holder = listener();
    Pointer<Socket> second = createSocket(Socket::TCP, 0);
    EXPECT_EQ(failureCode<NetworkException>([&] { second->bind(localPort(*holder)); }),
              NetworkException::ADDRESS_IN_USE);
}

TEST_F(LoopbackTcp, ARestartedServerGetsItsPortBackWhileOldConnectionsWait)
{
    Pointer<Socket> server = listener();
    int32_t port = localPort(*server);
    Pointer<Socket> client = connectTo(port);
    Pointer<Socket> connection = server->accept();
    connection->close(); // the server ends first, so its side lingers in TIME_WAIT
    char buffer[4];
    EXPECT_EQ(client->read(buffer, sizeof buffer), 0u);
    client->close();
    server->close();
    Pointer<Socket> restarted = createSocket(Socket::TCP, 0);
    EXPECT_NO_THROW(restarted->bind(port));
    EXPECT_NO_THROW(restarted->listen(5));
}

TEST_F(LoopbackTcp, RefusedConnectsAndEmptyNonBlockingAcceptsRaise)
{
    Pointer<Socket> unused = createSocket(Socket::TCP, 0);
    unused->bind(0); // holds a port that nobody listens on
    Pointer<Socket> client = createSocket(Socket::TCP, 0);
    EXPECT_EQ(
        failureCode<NetworkException>([&] { client->connect("127.0.0.1", localPort(*unused)); }),
        NetworkException::CONNECTION_REFUSED);

    Pointer<Socket> server = listener(Socket::NON_BLOCKING);
    EXPECT_EQ(failureCode<NetworkException>([&] { server->accept(); }),
              NetworkException::NETWORK_ERROR);
}
