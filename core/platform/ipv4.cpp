#include "core/platform/ipv4.hpp"

#include "core/exceptions.hpp"

#include <cstring>

namespace vexa {

sockaddr_in ipv4Address(uint32_t address, int32_t port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    a.sin_port = htons(uint16_t(port));
    return a;
}

sockaddr_in6 anyIpv6Address(int32_t port)
{
    sockaddr_in6 a = {};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_any;
    a.sin6_port = htons(uint16_t(port));
    return a;
}

std::string addressText(const sockaddr_storage& address, int32_t& port)
{
    sockaddr_storage shown = address;
    const sockaddr_in6& six = reinterpret_cast<const sockaddr_in6&>(address);
    if (address.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&six.sin6_addr)) {
        // The last four bytes of ::ffff:a.b.c.d are the IPv4 address.
        uint32_t four;
        std::memcpy(&four, six.sin6_addr.s6_addr + 12, sizeof four);
        sockaddr_in mapped = ipv4Address(four, ntohs(six.sin6_port));
        std::memcpy(&shown, &mapped, sizeof mapped);
    }
    const sockaddr_in& ipv4 = reinterpret_cast<const sockaddr_in&>(shown);
    bool isIpv4 = shown.ss_family == AF_INET;
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&shown),
                    isIpv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6), host, sizeof host, nullptr,
                    0, NI_NUMERICHOST) != 0)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    port = ntohs(isIpv4 ? ipv4.sin_port : six.sin6_port);
    return host;
}

std::string ipv4Text(uint32_t address)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&address);
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += (i ? "." : "") + std::to_string(bytes[i]);
    return text;
}

bool servesOtherDevices(uint32_t address)
{
    uint32_t host = ntohl(address);
    return (host >> 24) != 127 && (host >> 16) != 0xA9FE;
}

uint32_t ipv4AddressOf(const std::string& host)
{
    in_addr address = {};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1)
        return address.s_addr;
    return ipv4AddressOfName(host);
}

} // namespace vexa
