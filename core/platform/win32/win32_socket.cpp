#include "core/platform/win32/win32_socket.hpp"

#include "core/platform/ipv4.hpp"

#include <climits>

namespace vexa {

namespace {

// Winsock counts in int; a larger request simply moves less, as any short transfer does.
int clamped(uint32_t size)
{
    return size > uint32_t(INT_MAX) ? INT_MAX : int(size);
}

// A new socket, blocking or not; INVALID_SOCKET with the thread's error on failure.
SOCKET openSocket(int family, int type, bool nonBlocking)
{
    SOCKET socket = ::socket(family, type, type == SOCK_DGRAM ? IPPROTO_UDP : 0);
    u_long value = nonBlocking ? 1 : 0;
    if (socket != INVALID_SOCKET && ioctlsocket(socket, FIONBIO, &value) != 0) {
        int error = WSAGetLastError();
        closesocket(socket);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return socket;
}

// The system has no IPv6, or no IPv6 address to bind.
bool lacksIpv6(int error)
{
    return error == WSAEAFNOSUPPORT || error == WSAEADDRNOTAVAIL;
}

} // namespace

uint32_t Win32Socket::transferFailed()
{
    int error = WSAGetLastError();
    // Non-blocking: nothing to move yet. A blocking socket's time limit is WSAETIMEDOUT.
    if (error == WSAEWOULDBLOCK)
        return 0;
    m_handle.fail(error);
}

uint32_t Win32Socket::read(char* buffer, uint32_t size)
{
    int got = ::recv(m_handle.get(), buffer, clamped(size), 0);
    if (got == SOCKET_ERROR)
        return transferFailed();
    // A zero-size recv() says nothing about the end of the stream.
    if (got == 0 && size != 0)
        m_state |= END_OF_STREAM;
    return uint32_t(got);
}

uint32_t Win32Socket::write(const char* data, uint32_t size)
{
    int sent = ::send(m_handle.get(), data, clamped(size), 0);
    if (sent == SOCKET_ERROR)
        return transferFailed();
    return uint32_t(sent);
}

void Win32Socket::connect(StringRef host, int32_t port)
{
    sockaddr_in target = ipv4Address(ipv4AddressOf(host), port);
    if (::connect(m_handle.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::connectBroadcast(int32_t port)
{
    BOOL on = TRUE;
    setsockopt(m_handle.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&on), sizeof on);
    sockaddr_in target = ipv4Address(htonl(INADDR_BROADCAST), port);
    if (::connect(m_handle.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::bind(int32_t port)
{
    // No address reuse: on Windows it would let a second server take a port that one
    // already listens on, and the fallback to 8080 relies on that bind failing.
    if (m_bothFamilies) {
        // Windows makes an IPv6 socket IPv6 alone unless told otherwise.
        DWORD off = 0;
        if (setsockopt(m_handle.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<char*>(&off),
                       sizeof off) != 0)
            m_handle.fail(WSAGetLastError());
        sockaddr_in6 local = anyIpv6Address(port);
        if (::bind(m_handle.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0)
            return;
        if (!lacksIpv6(WSAGetLastError()))
            m_handle.fail(WSAGetLastError());
        SOCKET ipv4 = openSocket(AF_INET, SOCK_STREAM, m_nonBlocking);
        if (ipv4 == INVALID_SOCKET)
            m_handle.fail(WSAGetLastError());
        m_handle.replace(ipv4);
        m_bothFamilies = false;
    }
    sockaddr_in local = ipv4Address(htonl(INADDR_ANY), port);
    if (::bind(m_handle.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::listen(int32_t backlog)
{
    if (::listen(m_handle.get(), backlog == MAX_BACKLOG ? SOMAXCONN : backlog) != 0)
        m_handle.fail(WSAGetLastError());
}

Pointer<Socket> Win32Socket::acceptInto(sockaddr_storage* peer)
{
    int length = sizeof *peer;
    SOCKET connection =
        ::accept(m_handle.get(), reinterpret_cast<sockaddr*>(peer), peer ? &length : nullptr);
    if (connection == INVALID_SOCKET)
        m_handle.fail(WSAGetLastError());
    Pointer<Socket> accepted(SocketHandle::adopt<Win32Socket>(connection));
    accepted->setResetOnClose(true);
    return accepted;
}

Pointer<Socket> Win32Socket::accept(std::string& address, int32_t& port)
{
    sockaddr_storage peer = {};
    Pointer<Socket> connection = acceptInto(&peer);
    address = addressText(peer, port);
    return connection;
}

Pointer<Socket> Win32Socket::accept()
{
    return acceptInto(nullptr);
}

void Win32Socket::shutdown()
{
    if (::shutdown(m_handle.get(), SD_SEND) != 0)
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::setTimeouts(int32_t receiveMillis, int32_t sendMillis)
{
    DWORD receive = DWORD(receiveMillis);
    DWORD send = DWORD(sendMillis);
    if ((receiveMillis >= 0 &&
         setsockopt(m_handle.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&receive),
                    sizeof receive) != 0) ||
        (sendMillis >= 0 && setsockopt(m_handle.get(), SOL_SOCKET, SO_SNDTIMEO,
                                       reinterpret_cast<char*>(&send), sizeof send) != 0))
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::setCork(bool)
{
    // Winsock has no cork; Nagle's rule already joins the small header writes.
    if (!m_handle.isOpen())
        m_handle.fail(0);
}

bool Win32Socket::sendsFile(File&)
{
    // TransmitFile could, but client editions of Windows run two of them at a time in all, so
    // two slow clients would hold up every other download. Under Wine it is several times
    // slower than the buffer and waits out its limit for a client that has reset.
    return false;
}

uint32_t Win32Socket::sendFile(File&, uint32_t)
{
    throw NetworkException(NetworkException::NETWORK_ERROR);
}

bool Win32Socket::isListening()
{
    BOOL listening = FALSE;
    int length = sizeof listening;
    return getsockopt(m_handle.get(), SOL_SOCKET, SO_ACCEPTCONN,
                      reinterpret_cast<char*>(&listening), &length) == 0 &&
           listening;
}

void Win32Socket::setResetOnClose(bool reset)
{
    linger option = {u_short(reset ? 1 : 0), 0};
    if (setsockopt(m_handle.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&option),
                   sizeof option) != 0)
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::stopListening() noexcept
{
    // Winsock stops a listener, and wakes a thread blocked in accept() on it, only by closing it.
    try {
        close();
    } catch (const NetworkException&) {
        // Closed already: nothing listens.
    }
}

Pointer<Socket> createSocket(int32_t type, int32_t flags)
{
    if (type != Socket::TCP && type != Socket::UDP)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    int kind = type == Socket::TCP ? SOCK_STREAM : SOCK_DGRAM;
    bool nonBlocking = (flags & Socket::NON_BLOCKING) != 0;
    bool bothFamilies = type == Socket::TCP && (flags & Socket::BOTH_FAMILIES) != 0;
    SOCKET socket = bothFamilies ? openSocket(AF_INET6, kind, nonBlocking) : INVALID_SOCKET;
    if (socket == INVALID_SOCKET && bothFamilies && !lacksIpv6(WSAGetLastError()))
        throwNetworkError(WSAGetLastError());
    if (socket == INVALID_SOCKET) {
        bothFamilies = false;
        socket = openSocket(AF_INET, kind, nonBlocking);
    }
    if (socket == INVALID_SOCKET) {
        throwNetworkError(WSAGetLastError());
        throw NetworkException(NetworkException::NETWORK_ERROR);
    }
    return Pointer<Socket>(SocketHandle::adopt<Win32Socket>(socket, nonBlocking, bothFamilies));
}

Pointer<Socket> adoptSocket(SOCKET socket)
{
    return Pointer<Socket>(SocketHandle::adopt<Win32Socket>(socket));
}

} // namespace vexa
