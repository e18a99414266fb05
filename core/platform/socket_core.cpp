#include "core/platform/socket_core.hpp"

#include "core/platform/ipv4.hpp"

namespace vexa {

void SocketCore::connectBroadcast(int32_t port)
{
    setOption(SOL_SOCKET, SO_BROADCAST, int(1));
    sockaddr_in target = ipv4Address(htonl(INADDR_BROADCAST), port);
    if (::connect(m_handle.get(), reinterpret_cast<sockaddr*>(&target), sizeof target) != 0)
        m_handle.fail(lastNetworkError());
}

void SocketCore::bind(int32_t port)
{
    if (m_bothFamilies) {
        // Off explicitly: the system's default may be IPv6 alone (Windows' always is).
        if (int error = setOption(IPPROTO_IPV6, IPV6_V6ONLY, int(0)))
            m_handle.fail(error);
        reuseAddress(m_handle.get());
        sockaddr_in6 local = anyIpv6Address(port);
        if (::bind(m_handle.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) == 0)
            return;
        int error = lastNetworkError();
        if (!lacksIpv6(error))
            m_handle.fail(error);
        Handle ipv4 = openSocket(AF_INET, SOCK_STREAM, m_nonBlocking);
        if (ipv4 == OwnedSocket::invalid())
            m_handle.fail(lastNetworkError());
        m_handle.replace(ipv4);
        m_bothFamilies = false;
    }
    reuseAddress(m_handle.get());
    sockaddr_in local = ipv4Address(htonl(INADDR_ANY), port);
    if (::bind(m_handle.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        m_handle.fail(lastNetworkError());
}

void SocketCore::listen(int32_t backlog)
{
    if (::listen(m_handle.get(), backlog == MAX_BACKLOG ? SOMAXCONN : backlog) != 0)
        m_handle.fail(lastNetworkError());
}

Pointer<Socket> SocketCore::acceptInto(sockaddr_storage* peer)
{
    Handle connection = acceptHandle(m_handle.get(), peer);
    if (connection == OwnedSocket::invalid())
        m_handle.fail(lastNetworkError());
    return adoptHandle(connection, false, false);
}

Pointer<Socket> SocketCore::accept(std::string& address, int32_t& port)
{
    sockaddr_storage peer = {};
    Pointer<Socket> connection = acceptInto(&peer);
    address = addressText(peer, port);
    return connection;
}

Pointer<Socket> SocketCore::accept()
{
    return acceptInto(nullptr);
}

bool SocketCore::isListening()
{
    int listening = 0;
    socklen_t length = sizeof listening;
    return getsockopt(m_handle.get(), SOL_SOCKET, SO_ACCEPTCONN,
                      reinterpret_cast<char*>(&listening), &length) == 0 &&
           listening != 0;
}

void SocketCore::setResetOnClose(bool reset)
{
    linger option = {};
    option.l_onoff = reset ? 1 : 0;
    if (int error = setOption(SOL_SOCKET, SO_LINGER, option))
        m_handle.fail(error);
}

Pointer<Socket> createSocket(int32_t type, int32_t flags)
{
    if (type != Socket::TCP && type != Socket::UDP)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    int kind = type == Socket::TCP ? SOCK_STREAM : SOCK_DGRAM;
    bool nonBlocking = (flags & Socket::NON_BLOCKING) != 0;
    bool bothFamilies = type == Socket::TCP && (flags & Socket::BOTH_FAMILIES) != 0;
    SocketCore::Handle socket = OwnedSocket::invalid();
    if (bothFamilies) {
        socket = openSocket(AF_INET6, kind, nonBlocking);
        if (socket == OwnedSocket::invalid() && !lacksIpv6(lastNetworkError()))
            throwNetworkError(lastNetworkError());
    }
    if (socket == OwnedSocket::invalid()) {
        bothFamilies = false;
        socket = openSocket(AF_INET, kind, nonBlocking);
    }
    if (socket == OwnedSocket::invalid()) {
        throwNetworkError(lastNetworkError());
        throw NetworkException(NetworkException::NETWORK_ERROR);
    }
    return adoptHandle(socket, nonBlocking, bothFamilies);
}

} // namespace vexa
