#include "core/platform/ipv4.hpp"

#include "core/exceptions.hpp"

namespace vexa {

sockaddr_in ipv4Address(uint32_t address, int32_t port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(uint16_t(port));
    return a;
}

uint32_t ipv4AddressOf(const std::string& host)
{
    uint32_t address = uint32_t(inet_addr(host.c_str()));
    if (address != uint32_t(INADDR_NONE))
        return address;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        throw NetworkException(NetworkException::UNKNOWN_HOST);
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

} // namespace vexa
