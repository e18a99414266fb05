#pragma once

#include "core/platform/errors.hpp"
#include "core/platform/handle_device.hpp"
#include "core/socket.hpp"

// The chosen platform folder's socket headers and its OwnedSocket.
#include "sockets.hpp"

namespace vexa {

// What BSD sockets and Winsock share, written once: both platforms' sockets derive from it and
// keep only what differs (opening, the transfer calls, stopping a listener, sending a file).
class SocketCore : public HandleDevice<Socket, OwnedSocket>
{
public:
    using Handle = OwnedSocket::Handle;

    // bothFamilies: an IPv6 socket that bind() opens to IPv4 too.
    SocketCore(Handle handle, bool nonBlocking, bool bothFamilies)
        : HandleDevice(handle), m_nonBlocking(nonBlocking), m_bothFamilies(bothFamilies)
    {
    }

    void connectBroadcast(int32_t port) override;
    void bind(int32_t port) override;
    void listen(int32_t backlog) override;
    Pointer<Socket> accept(std::string& address, int32_t& port) override;
    Pointer<Socket> accept() override;
    bool isListening() override;
    void setResetOnClose(bool reset) override;

    // The system's handle, for tests that look below the library.
    Handle handle() const { return m_handle.get(); }

protected:
    // A socket option of the handle's; the failure's error number, or 0.
    template <class Value> int setOption(int level, int name, const Value& value)
    {
        return setsockopt(m_handle.get(), level, name, reinterpret_cast<const char*>(&value),
                          sizeof value) == 0
                   ? 0
                   : lastNetworkError();
    }

    bool m_nonBlocking;

private:
    Pointer<Socket> acceptInto(sockaddr_storage* peer);

    bool m_bothFamilies;
};

// What each platform's socket source gives the shared code.

// A new socket, blocking or not, that no program started later inherits where the system
// allows; the invalid handle, with the thread's error set, on failure.
SocketCore::Handle openSocket(int family, int type, bool nonBlocking);
// The system has no IPv6, or no IPv6 address to bind.
bool lacksIpv6(int error);
// Lets a restarted server have its port back while old connections sit in TIME_WAIT, where
// the platform keeps a port that another socket listens on refused all the same.
void reuseAddress(SocketCore::Handle socket);
// One accept() on the listener: the new connection, blocking, or the invalid handle with the
// thread's error set. An interrupted call is retried.
SocketCore::Handle acceptHandle(SocketCore::Handle listener, sockaddr_storage* peer);
// The platform's socket over an open handle, which it owns from then on, also on failure.
Pointer<Socket> adoptHandle(SocketCore::Handle handle, bool nonBlocking, bool bothFamilies);

} // namespace vexa
