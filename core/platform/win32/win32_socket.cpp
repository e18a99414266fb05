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

void Win32Socket::shutdown()
{
    if (::shutdown(m_handle.get(), SD_SEND) != 0)
        m_handle.fail(WSAGetLastError());
}

void Win32Socket::setTimeouts(int32_t receiveMillis, int32_t sendMillis)
{
    int error = receiveMillis >= 0 ? setOption(SOL_SOCKET, SO_RCVTIMEO, DWORD(receiveMillis)) : 0;
    if (error == 0 && sendMillis >= 0)
        error = setOption(SOL_SOCKET, SO_SNDTIMEO, DWORD(sendMillis));
    if (error != 0)
        m_handle.fail(error);
}

void Win32Socket::setCork(bool)
{
    // Winsock has no cork; Nagle's rule already joins the small header writes.
    if (!m_handle.isOpen())
        m_handle.fail(0);
}

void Win32Socket::setUnsentLimit(int32_t)
{
    // Winsock has no such bound; a send waits while its small buffer is full.
    if (!m_handle.isOpen())
        m_handle.fail(0);
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

bool lacksIpv6(int error)
{
    return error == WSAEAFNOSUPPORT || error == WSAEADDRNOTAVAIL;
}

void reuseAddress(SOCKET)
{
    // Never on Windows: it would let a second server take a port that one already listens on,
    // and the fallback to 8080 relies on that bind failing.
}

SOCKET acceptHandle(SOCKET listener, sockaddr_storage* peer)
{
    int length = sizeof *peer;
    return ::accept(listener, reinterpret_cast<sockaddr*>(peer), peer ? &length : nullptr);
}

Pointer<Socket> adoptHandle(SOCKET socket, bool nonBlocking, bool bothFamilies)
{
    return Pointer<Socket>(OwnedSocket::adopt<Win32Socket>(socket, nonBlocking, bothFamilies));
}

Pointer<Socket> adoptSocket(SOCKET socket)
{
    return adoptHandle(socket, false, false);
}

} // namespace vexa
