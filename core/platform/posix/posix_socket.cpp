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

// A new socket, closed on exec; -1 with errno on failure.
int openSocket(int family, int type, bool nonBlocking)
{
    int protocol = type == SOCK_DGRAM ? IPPROTO_UDP : 0;
    return ::socket(family, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), protocol);
}

// The system has no IPv6, or no IPv6 address to bind.
bool lacksIpv6(int error)
{
    return error == EAFNOSUPPORT || error == EADDRNOTAVAIL;
}

// A restarted server must get its port back while old connections sit in TIME_WAIT. Linux
// still refuses a port that another socket listens on, so the fallback holds.
void reuseAddress(int descriptor)
{
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM) {
        int on = 1;
        setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
}

} // namespace

PosixSocket::PosixSocket(int descriptor, bool nonBlocking, bool bothFamilies)
    : HandleDevice(descriptor), m_nonBlocking(nonBlocking), m_bothFamilies(bothFamilies),
      m_sendShutDown(false), m_unblockedForFiles(false), m_sendMillis(0)
{
}

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

void PosixSocket::connectBroadcast(int32_t port)
{
    int on = 1;
    setsockopt(m_handle.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in target = ipv4Address(htonl(INADDR_BROADCAST), port);
    if (::connect(m_handle.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
        m_handle.fail(errno);
}

void PosixSocket::bind(int32_t port)
{
    if (m_bothFamilies) {
        // Off explicitly: the system's default may be IPv6 alone.
        int off = 0;
        if (setsockopt(m_handle.get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0)
            m_handle.fail(errno);
        reuseAddress(m_handle.get());
        sockaddr_in6 local = anyIpv6Address(port);
        if (::bind(m_handle.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0)
            return;
        if (!lacksIpv6(errno))
            m_handle.fail(errno);
        int ipv4 = openSocket(AF_INET, SOCK_STREAM, m_nonBlocking);
        if (ipv4 < 0)
            m_handle.fail(errno);
        m_handle.replace(ipv4);
        m_bothFamilies = false;
    }
    reuseAddress(m_handle.get());
    sockaddr_in local = ipv4Address(htonl(INADDR_ANY), port);
    if (::bind(m_handle.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        m_handle.fail(errno);
}

void PosixSocket::listen(int32_t backlog)
{
    if (::listen(m_handle.get(), backlog == MAX_BACKLOG ? SOMAXCONN : backlog) != 0)
        m_handle.fail(errno);
}

Pointer<Socket> PosixSocket::acceptInto(void* address, void* length)
{
    int connection;
    do
        connection = ::accept4(m_handle.get(), static_cast<sockaddr*>(address),
                               static_cast<socklen_t*>(length), SOCK_CLOEXEC);
    while (connection < 0 && errno == EINTR);
    if (connection < 0)
        m_handle.fail(errno);
    // Accepted sockets do not inherit O_NONBLOCK on Linux.
    Pointer<Socket> accepted(SocketDescriptor::adopt<PosixSocket>(connection, false));
    accepted->setResetOnClose(true);
    return accepted;
}

Pointer<Socket> PosixSocket::accept(std::string& address, int32_t& port)
{
    sockaddr_storage peer = {};
    socklen_t length = sizeof peer;
    Pointer<Socket> connection = acceptInto(&peer, &length);
    address = addressText(peer, port);
    return connection;
}

Pointer<Socket> PosixSocket::accept()
{
    return acceptInto(nullptr, nullptr);
}

void PosixSocket::shutdown()
{
    if (::shutdown(m_handle.get(), SHUT_WR) != 0)
        m_handle.fail(errno);
    m_sendShutDown = true;
}

void PosixSocket::setTimeouts(int32_t receiveMillis, int32_t sendMillis)
{
    timeval receive = toTimeval(receiveMillis);
    timeval send = toTimeval(sendMillis);
    if ((receiveMillis >= 0 &&
         setsockopt(m_handle.get(), SOL_SOCKET, SO_RCVTIMEO, &receive, sizeof receive) != 0) ||
        (sendMillis >= 0 &&
         setsockopt(m_handle.get(), SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send) != 0))
        m_handle.fail(errno);
    if (sendMillis >= 0)
        m_sendMillis = sendMillis;
}

void PosixSocket::setCork(bool corked)
{
    int on = corked ? 1 : 0;
    // A socket that is not TCP (a Unix-domain pair, UDP) has nothing to hold back.
    if (setsockopt(m_handle.get(), IPPROTO_TCP, TCP_CORK, &on, sizeof on) != 0 &&
        errno != EOPNOTSUPP && errno != ENOPROTOOPT)
        m_handle.fail(errno);
}

bool PosixSocket::isListening()
{
    int listening = 0;
    socklen_t length = sizeof listening;
    return getsockopt(m_handle.get(), SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 &&
           listening != 0;
}

void PosixSocket::setResetOnClose(bool reset)
{
    linger option = {reset ? 1 : 0, 0};
    if (setsockopt(m_handle.get(), SOL_SOCKET, SO_LINGER, &option, sizeof option) != 0)
        m_handle.fail(errno);
}

void PosixSocket::stopListening() noexcept
{
    // close() would wake no thread blocked in accept() on the socket; shutdown() does, and the
    // socket stops listening at once.
    ::shutdown(m_handle.get(), SHUT_RDWR);
}

Pointer<Socket> createSocket(int32_t type, int32_t flags)
{
    if (type != Socket::TCP && type != Socket::UDP)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    int kind = type == Socket::TCP ? SOCK_STREAM : SOCK_DGRAM;
    bool nonBlocking = (flags & Socket::NON_BLOCKING) != 0;
    bool bothFamilies = type == Socket::TCP && (flags & Socket::BOTH_FAMILIES) != 0;
    int descriptor = bothFamilies ? openSocket(AF_INET6, kind, nonBlocking) : -1;
    if (descriptor < 0 && bothFamilies && !lacksIpv6(errno))
        throwNetworkError(errno);
    if (descriptor < 0) {
        bothFamilies = false;
        descriptor = openSocket(AF_INET, kind, nonBlocking);
    }
    if (descriptor < 0) {
        throwNetworkError(errno);
        throw NetworkException(NetworkException::NETWORK_ERROR);
    }
    return Pointer<Socket>(
        SocketDescriptor::adopt<PosixSocket>(descriptor, nonBlocking, bothFamilies));
}

Pointer<Socket> adoptSocket(int descriptor)
{
    // Whether "would block" is a time limit or an empty non-blocking socket depends on this.
    int flags = fcntl(descriptor, F_GETFL);
    bool nonBlocking = flags >= 0 && (flags & O_NONBLOCK);
    return Pointer<Socket>(SocketDescriptor::adopt<PosixSocket>(descriptor, nonBlocking));
}

} // namespace vexa
