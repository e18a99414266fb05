#pragma once

// The chosen platform folder's socket headers: BSD sockets or Winsock 2. IPv6 appears here
// only where both families are served on one port.
#include "sockets.hpp"

#include <cstdint>
#include <string>

namespace vexa {

// An IPv4 socket address; the address in network byte order.
sockaddr_in ipv4Address(uint32_t address, int32_t port);
// The IPv6 socket address '::' with the port.
sockaddr_in6 anyIpv6Address(int32_t port);

// A peer's address as figures and its port. An IPv4 peer of an IPv6 socket shows as IPv4
// ("127.0.0.1", not "::ffff:127.0.0.1").
std::string addressText(const sockaddr_storage& address, int32_t& port);

// An IPv4 address (network byte order) as figures: "192.168.1.23".
std::string ipv4Text(uint32_t address);
// Whether another device could reach this machine at the address: not loopback (127/8), not
// link-local (169.254/16).
bool servesOtherDevices(uint32_t address);

// The IPv4 address of a host written as figures ("127.0.0.1") or named, in network byte order;
// a name that is not found raises NetworkException UNKNOWN_HOST.
uint32_t ipv4AddressOf(const std::string& host);
// A name's first IPv4 address: the system's resolver's, or in a fully static build, which must
// not load the resolver's modules, 'localhost' alone (CMake picks the source).
uint32_t ipv4AddressOfName(const std::string& host);

} // namespace vexa
