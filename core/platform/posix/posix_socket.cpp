#include "core/platform/posix/posix_socket.hpp"

#include "core/platform/ipv4.hpp"

#include <cerrno>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vexa {

namespace {

timeval toTimeval(int32_t millis)
{
    timeval t = {};
    t.tv_sec = millis / 1000;
    t.tv_usec = (millis % 1000) * 1000;
    return t;
}

// An interrupted connect() goes on in the background; calling it again would only report
// EALREADY, so wait for the outcome instead. Returns 0 or the error number.
int awaitConnection(int descriptor)
{
    pollfd entry = {descriptor, POLLOUT, 0};
    int ready;
    do
        ready = ::poll(&entry, 1, -1);
    while (ready < 0 && errno == EINTR);
    int error = 0;
    socklen_t length = sizeof error;
    if (ready < 0 || getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

} // namespace

void PosixSocket::setUnblockedForFiles(bool unblocked)
{
    int on = unblocked ? 1 : 0;
    if (::ioctl(m_handle.get(), FIONBIO, &on) != 0)
        m_handle.fail(errno);
    m_unblockedForFiles = unblocked;
}

uint32_t PosixSocket::transferFailed(int error)
{
    if (error == EAGAIN || error == EWOULDBLOCK) {
        // Non-blocking: nothing to move yet. Blocking: the time limit ran out.
        if (m_nonBlocking)
            return 0;
        throw NetworkException(NetworkException::NETWORK_ERROR);
    }
    // The peer may still be there: the write failed because we ended our own sending.
    m_handle.fail(error == EPIPE && m_sendShutDown ? ESHUTDOWN : error);
}

uint32_t PosixSocket::read(char* buffer, uint32_t size)
{
    if (m_unblockedForFiles)
        setUnblockedForFiles(false);
    ssize_t got;
    do
        got = ::recv(m_handle.get(), buffer, size, 0);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return transferFailed(errno);
    // A zero-size recv() says nothing about the end of the stream.
    if (got == 0 && size != 0)
        m_state |= END_OF_STREAM;
    return uint32_t(got);
}

uint32_t PosixSocket::write(const char* data, uint32_t size)
{
    if (m_unblockedForFiles)
        setUnblockedForFiles(false);
    ssize_t sent;
    do
        sent = ::send(m_handle.get(), data, size, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0)
        return transferFailed(errno);
    return uint32_t(sent);
}

void PosixSocket::connect(StringRef host, int32_t port)
{
    sockaddr_in target = ipv4Address(ipv4AddressOf(host), port);
    int error = 0;
    if (::connect(m_handle.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
        error = errno == EINTR ? awaitConnection(m_handle.get()) : errno;
    if (error != 0)
        m_handle.fail(error);
}

void PosixSocket::shutdown()
{
    if (::shutdown(m_handle.get(), SHUT_WR) != 0)
        m_handle.fail(errno);
    m_sendShutDown = true;
}

void PosixSocket::setTimeouts(int32_t receiveMillis, int32_t sendMillis)
{
    int error =
        receiveMillis >= 0 ? setOption(SOL_SOCKET, SO_RCVTIMEO, toTimeval(receiveMillis)) : 0;
    if (error == 0 && sendMillis >= 0)
        error = setOption(SOL_SOCKET, SO_SNDTIMEO, toTimeval(sendMillis));
    if (error != 0)
        m_handle.fail(error);
    if (sendMillis >= 0)
        m_sendMillis = sendMillis;
}

void PosixSocket::setTcpOption(int name, int value)
{
    int error = setOption(IPPROTO_TCP, name, value);
    if (error != 0 && error != EOPNOTSUPP && error != ENOPROTOOPT)
        m_handle.fail(error);
}

void PosixSocket::setCork(bool corked)
{
    setTcpOption(TCP_CORK, int(corked));
}

void PosixSocket::setUnsentLimit(int32_t bytes)
{
    setTcpOption(TCP_NOTSENT_LOWAT, bytes);
}

void PosixSocket::stopListening() noexcept
{
    // close() would wake no thread blocked in accept() on the socket; shutdown() does, and the
    // socket stops listening at once.
    ::shutdown(m_handle.get(), SHUT_RDWR);
}

int openSocket(int family, int type, bool nonBlocking)
{
    int protocol = type == SOCK_DGRAM ? IPPROTO_UDP : 0;
    return ::socket(family, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), protocol);
}

bool lacksIpv6(int error)
{
    return error == EAFNOSUPPORT || error == EADDRNOTAVAIL;
}

void reuseAddress(int descriptor)
{
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM) {
        int on = 1;
        setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
}

int acceptHandle(int listener, sockaddr_storage* peer)
{
    socklen_t length = sizeof *peer;
    int connection;
    do
        connection = ::accept4(listener, reinterpret_cast<sockaddr*>(peer),
                               peer ? &length : nullptr, SOCK_CLOEXEC);
    while (connection < 0 && errno == EINTR);
    // Accepted sockets do not inherit O_NONBLOCK on Linux.
    return connection;
}

Pointer<Socket> adoptHandle(int descriptor, bool nonBlocking, bool bothFamilies)
{
    return Pointer<Socket>(OwnedSocket::adopt<PosixSocket>(descriptor, nonBlocking, bothFamilies));
}

Pointer<Socket> adoptSocket(int descriptor)
{
    // Whether "would block" is a time limit or an empty non-blocking socket depends on this.
    int flags = fcntl(descriptor, F_GETFL);
    bool nonBlocking = flags >= 0 && (flags & O_NONBLOCK);
    return adoptHandle(descriptor, nonBlocking, false);
}

} // namespace vexa
