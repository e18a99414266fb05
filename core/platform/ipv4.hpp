#pragma once

// The chosen platform folder's socket headers: BSD sockets or Winsock 2.
#include "sockets.hpp"

#include <cstdint>
#include <string>

namespace vexa {

// An IPv4 socket address; the address in network byte order.
sockaddr_in ipv4Address(uint32_t address, int32_t port);

// The IPv4 address of a host written as figures ("127.0.0.1") or else looked up by its name,
// in network byte order. Raises NetworkException UNKNOWN_HOST when there is none.
uint32_t ipv4AddressOf(const std::string& host);

} // namespace vexa
