#include "core/socket.hpp"

#include "core/platform/ipv4.hpp"

// Winsock 2 must come before the other Windows headers, which would bring in the old Winsock.
#include <winsock2.h>

#include <iphlpapi.h>
#include <windows.h>

namespace vexa {

std::vector<std::string> localNetworkAddresses()
{
    std::vector<std::string> found;
    // 8-byte units: the adapters' records need that alignment. The list may grow between the
    // call that sizes it and the call that fills it.
    std::vector<uint64_t> buffer;
    ULONG size = 16384;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size / sizeof(uint64_t) + 1);
        result = GetAdaptersAddresses(
            AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
            nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return found;
    for (const IP_ADAPTER_ADDRESSES* adapter =
             reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
         adapter; adapter = adapter->Next) {
        // Ethernet and Wi-Fi only: loopback, tunnels and the like lead no other device here.
        if (adapter->OperStatus != IfOperStatusUp ||
            (adapter->IfType != IF_TYPE_ETHERNET_CSMACD && adapter->IfType != IF_TYPE_IEEE80211))
            continue;
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
             unicast = unicast->Next) {
            const sockaddr* any = unicast->Address.lpSockaddr;
            if (any->sa_family != AF_INET)
                continue;
            uint32_t address = reinterpret_cast<const sockaddr_in*>(any)->sin_addr.s_addr;
            if (servesOtherDevices(address))
                found.push_back(ipv4Text(address));
        }
    }
    return found;
}

} // namespace vexa
