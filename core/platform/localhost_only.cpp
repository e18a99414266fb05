#include "core/platform/ipv4.hpp"

#include "core/exceptions.hpp"

namespace vexa {

uint32_t ipv4AddressOfName(const std::string& host)
{
    // A fully static program: the resolver's modules would have to be those of the C library
    // it was linked with, so it names only this machine.
    if (host != "localhost")
        throw NetworkException(NetworkException::UNKNOWN_HOST);
    return htonl(INADDR_LOOPBACK);
}

} // namespace vexa
