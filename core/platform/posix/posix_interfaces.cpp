#include "core/socket.hpp"

#include "core/platform/ipv4.hpp"

#include <cstring>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>

namespace vexa {

namespace {

// Bridges that Docker, Podman's CNI, libvirt and their virtual cables make: no other device
// on the network reaches this machine through them.
bool isVirtualBridge(const char* name)
{
    for (const char* prefix : {"docker", "br-", "veth", "virbr", "cni"}) {
        if (std::strncmp(name, prefix, std::strlen(prefix)) == 0)
            return true;
    }
    return false;
}

} // namespace

std::vector<std::string> localNetworkAddresses()
{
    std::vector<std::string> found;
    ifaddrs* first = nullptr;
    if (::getifaddrs(&first) != 0)
        return found;
    std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(first, ::freeifaddrs);
    const unsigned UP = IFF_UP | IFF_RUNNING;
    for (const ifaddrs* i = first; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & UP) != UP ||
            (i->ifa_flags & IFF_LOOPBACK) || isVirtualBridge(i->ifa_name))
            continue;
        uint32_t address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        if (servesOtherDevices(address))
            found.push_back(ipv4Text(address));
    }
    return found;
}

} // namespace vexa
