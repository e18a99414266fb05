#pragma once

#include "core/file.hpp"
#include "core/iodevice.hpp"
#include "core/text.hpp"

#include <string>
#include <vector>

namespace vexa {

class Socket : public IODevice
{
public:
    enum Type : int32_t {
        TCP = 0,
        UDP = 1,
    };
    enum Flags : int32_t {
        NON_BLOCKING = 1,
        // A TCP listener for IPv6 and IPv4 on one port: an IPv6 socket that takes IPv4
        // connections too, or an IPv4 one where the system has no IPv6. It cannot connect.
        BOTH_FAMILIES = 2,
    };
    // For listen(): as many pending connections as the system allows.
    static constexpr int32_t MAX_BACKLOG = -1;

    virtual void connect(StringRef host, int32_t port) = 0;
    virtual void connectBroadcast(int32_t port) = 0;
    virtual void bind(int32_t port) = 0;
    virtual void listen(int32_t backlog) = 0;
    virtual Pointer<Socket> accept(std::string& address, int32_t& port) = 0;
    virtual Pointer<Socket> accept() = 0;
    virtual void shutdown() = 0;

    // Time limits in milliseconds (0: none; negative: left as it is) for each blocking receive
    // and send. One that runs past its limit raises NETWORK_ERROR, or returns what it moved if
    // any. Where the system tells what the peer has acknowledged (not on Windows, where it
    // counts as one send), a writeFrom() runs out only when the limit passes in which the peer
    // took fewer than 4096 more bytes, and then raises, whatever it moved.
    virtual void setTimeouts(int32_t receiveMillis, int32_t sendMillis) = 0;
    // Holds back partly filled segments while a reply is written piece by piece, so the pieces
    // travel in full segments; shutdown() and close() send whatever is held. No effect on a
    // socket that is not TCP.
    virtual void setCork(bool corked) = 0;
    // Bounds the bytes that the system holds not yet sent, so that a peer that takes nothing
    // ties up little memory; a send waits for room below the bound. No effect on a socket that
    // is not TCP, nor on Windows, which has no such bound (its send buffer is small anyway).
    // Set on a listener, the connections it accepts inherit it.
    virtual void setUnsentLimit(int32_t bytes) = 0;
    // Whether the socket still accepts connections; tells a broken listener from a failed accept.
    virtual bool isListening() = 0;
    // Whether closing the socket, or the end of the process, resets the connection, dropping
    // what is not sent yet, so that the peer sees its reply fail instead of end; otherwise the
    // close sends what is left and ends the stream cleanly, as every socket does until told
    // otherwise. Set on a listener, the connections it accepts inherit it from their start.
    virtual void setResetOnClose(bool reset) = 0;
    // Ends a listening socket from any thread, also while another is blocked in accept() on it:
    // connections are refused from then on, and that accept() raises. Never raises itself.
    virtual void stopListening() noexcept = 0;
};

Pointer<Socket> createSocket(int32_t type, int32_t flags);

// The IPv4 addresses, as figures, at which other devices on the local networks may reach this
// machine: those of interfaces that are up, neither loopback nor link-local (169.254/16) nor a
// bridge to containers or virtual machines. None when the system does not tell.
std::vector<std::string> localNetworkAddresses();

} // namespace vexa
