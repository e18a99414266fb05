// Sockets over real TCP, on every platform.
#include "core/exceptions.hpp"
#include "tests/core/loopback.hpp"
#include "tests/support/failure.hpp"

#include <gtest/gtest.h>

#include <string>

using namespace vexa;
using harnow_test::failureCode;

TEST(Socket, EveryOperationAfterCloseRaisesClosed)
{
    initNetwork(); // in main's order, for the module list test
    initSystem();
    initUtility();
    Pointer<Socket> socket = createSocket(Socket::TCP, 0);
    Socket& s = *socket;
    s.close();
    EXPECT_EQ(s.getState(), 0u);
    char buffer[4];
    std::string address;
    int32_t port;
    EXPECT_EQ(failureCode<NetworkException>([&] { s.close(); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.read(buffer, 4); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.read(buffer, 0); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.write("x", 1); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.bind(0); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.listen(5); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.accept(); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.accept(address, port); }),
              NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.connect("127.0.0.1", 9); }),
              NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.shutdown(); }), NetworkException::CLOSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { s.setTimeouts(10, 10); }),
              NetworkException::CLOSED);
    EXPECT_FALSE(s.isListening());
}

TEST(Socket, UnknownTypeCreatesNothing)
{
    EXPECT_EQ(failureCode<NetworkException>([] { createSocket(7, 0); }),
              NetworkException::NETWORK_ERROR);
}

TEST_F(LoopbackTcp, EndOfStreamIsStickyAndLeavesWritingOpen)
{
    auto [socket, peer] = connection();
    char buffer[16];
    ASSERT_EQ(peer->write("hi", 2), 2u);
    peer->shutdown();
    EXPECT_EQ(socket->read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(socket->getState(), uint32_t(IODevice::OPEN));
    EXPECT_EQ(socket->read(buffer, 0), 0u); // asks for nothing: says nothing about the end
    EXPECT_EQ(socket->getState(), uint32_t(IODevice::OPEN));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(socket->read(buffer, sizeof buffer), 0u);
        EXPECT_EQ(socket->getState(), uint32_t(IODevice::OPEN | IODevice::END_OF_STREAM));
    }
    EXPECT_EQ(socket->write("back", 4), 4u);
    EXPECT_EQ(readSome(*peer), "back");
}

TEST_F(LoopbackTcp, WriteAfterOwnShutdownRaisesShutdownWhileReadingGoesOn)
{
    auto [socket, peer] = connection();
    socket->shutdown();
    EXPECT_EQ(readSome(*peer), ""); // the peer sees the end
    EXPECT_EQ(failureCode<NetworkException>([&] { socket->write("x", 1); }),
              NetworkException::SHUTDOWN);
    ASSERT_EQ(peer->write("late", 4), 4u);
    EXPECT_EQ(readSome(*socket), "late");
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
    // An IPv4 peer of a listener for both families too: its address is no IPv6 form of it.
    server = listener(Socket::BOTH_FAMILIES);
    client = connectTo(localPort(*server));
    connection = server->accept(address, port);
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, localPort(*client));
}

TEST_F(LoopbackTcp, AnAcceptedSocketClosesCleanlyUnlessItsListenerResets)
{
    Pointer<Socket> server = listener();
    for (bool reset : {false, true}) {
        // Taken from the listener: a connection is born with it, before accept() returns.
        server->setResetOnClose(reset);
        Pointer<Socket> client = connectTo(localPort(*server));
        server->accept()->close();
        char buffer[16];
        EXPECT_EQ(failureCode<NetworkException>([&] { client->read(buffer, sizeof buffer); }),
                  reset ? NetworkException::CONNECTION_CLOSED : -1);
    }
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
    // A name is looked up ('localhost' alone in a fully static build).
    EXPECT_EQ(
        failureCode<NetworkException>([&] { client->connect("localhost", localPort(*unused)); }),
        NetworkException::CONNECTION_REFUSED);
    EXPECT_EQ(failureCode<NetworkException>([&] { client->connect("no-such-host.invalid", 80); }),
              NetworkException::UNKNOWN_HOST);

    // A stopped listener refuses connections, and an accept on it raises instead of waiting.
    Pointer<Socket> stopped = listener();
    int32_t port = localPort(*stopped);
    stopped->stopListening();
    EXPECT_THROW(stopped->accept(), NetworkException);
    Pointer<Socket> late = createSocket(Socket::TCP, 0);
    EXPECT_EQ(failureCode<NetworkException>([&] { late->connect("127.0.0.1", port); }),
              NetworkException::CONNECTION_REFUSED);

    Pointer<Socket> server = listener(Socket::NON_BLOCKING);
    EXPECT_EQ(failureCode<NetworkException>([&] { server->accept(); }),
              NetworkException::NETWORK_ERROR);
}
