#pragma once

#include "core/modules.hpp"
#include "core/socket.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

// The system's handle beneath a Socket, for what a test looks at below the library.
#include "core/platform/socket_core.hpp"

inline vexa::SocketCore::Handle nativeHandle(vexa::Socket& socket)
{
    return dynamic_cast<vexa::SocketCore&>(socket).handle();
}

inline int32_t localPort(vexa::Socket& socket)
{
    // Room for an IPv6 address: Windows fills nothing into less. Both put the port here.
    sockaddr_storage address = {};
    socklen_t length = sizeof address;
    getsockname(nativeHandle(socket), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port);
}

// A listener on an ephemeral port.
inline vexa::Pointer<vexa::Socket> listener(int32_t flags = 0)
{
    vexa::Pointer<vexa::Socket> socket = vexa::createSocket(vexa::Socket::TCP, flags);
    socket->bind(0);
    EXPECT_FALSE(socket->isListening());
    socket->listen(5);
    EXPECT_TRUE(socket->isListening());
    return socket;
}

inline vexa::Pointer<vexa::Socket> connectTo(int32_t port)
{
    vexa::Pointer<vexa::Socket> client = vexa::createSocket(vexa::Socket::TCP, 0);
    client->connect("127.0.0.1", port);
    return client;
}

// Real TCP on the loopback interface, only inside a private network namespace.
class LoopbackTcp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::getenv("HARNOW_NETNS"))
            GTEST_SKIP() << "needs a private network namespace (run through ctest)";
        // Windows: Winsock must be started. In main's order, for the module list test.
        vexa::initNetwork();
        vexa::initSystem();
        vexa::initUtility();
    }

    // Both ends of one connection, the accepted end first; a read that waits more than 10 s
    // ends the test instead of hanging it.
    static std::pair<vexa::Pointer<vexa::Socket>, vexa::Pointer<vexa::Socket>> connection()
    {
        vexa::Pointer<vexa::Socket> server = listener();
        vexa::Pointer<vexa::Socket> client = connectTo(localPort(*server));
        vexa::Pointer<vexa::Socket> accepted = server->accept();
        accepted->setTimeouts(10000, 10000);
        client->setTimeouts(10000, 10000);
        return {accepted, client};
    }

    static std::string readSome(vexa::Socket& socket)
    {
        char buffer[64];
        return std::string(buffer, socket.read(buffer, sizeof buffer));
    }
};
