#include "server/accept_loop.hpp"

#include "core/exceptions.hpp"
#include "core/modules.hpp"
#include "tests/server/fakes.hpp"
#include "tests/support/recording_socket.hpp"

#include <gtest/gtest.h>

#include <new>

TEST(AcceptLoop, GoesOnWhenAConnectionFindsNoMemoryAndEndsWhenTheListenerFails)
{
    // A socket that listens on nothing: its accept fails as a broken listener's does.
    struct Listener : harnow_test::RecordingSocket
    {
        using RecordingSocket::accept;
        using RecordingSocket::RecordingSocket;
        vexa::Pointer<Socket> accept() override
        {
            if (accepts++ == 0)
                throw std::bad_alloc();
            return RecordingSocket::accept();
        }
        int accepts = 0;
    };
    vexa::initNetwork();
    CapturedConsole console;
    Listener listener(vexa::createSocket(vexa::Socket::TCP, 0));
    EXPECT_THROW(acceptLoop(listener), vexa::NetworkException);
    EXPECT_EQ(listener.accepts, 2);
    EXPECT_EQ(console.lines(), std::vector<std::string>{"error in accept: std::bad_alloc"});
}
