#include "core/platform/ipv4.hpp"

#include "core/exceptions.hpp"

namespace vexa {

uint32_t ipv4AddressOfName(const std::string& host)
{
    addrinfo wanted = {};
    wanted.ai_family = AF_INET;
    wanted.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &wanted, &found) != 0 || !found)
        throw NetworkException(NetworkException::UNKNOWN_HOST);
    uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

} // namespace vexa
