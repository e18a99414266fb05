#pragma once

#include "core/platform/socket_core.hpp"

namespace vexa {

// Socket on BSD sockets. Made by createSocket, accept and adoptSocket only.
class PosixSocket : public SocketCore
{
public:
    using SocketCore::SocketCore;

    uint32_t read(char* buffer, uint32_t size) override;
    uint32_t write(const char* data, uint32_t size) override;
    // Straight from the system's file cache where the file has a descriptor, in calls as large
    // as the socket takes.
    uint32_t writeFrom(File& file, uint32_t size) override;

    void connect(StringRef host, int32_t port) override;
    void shutdown() override;
    void setTimeouts(int32_t receiveMillis, int32_t sendMillis) override;
    void setCork(bool corked) override;
    void setUnsentLimit(int32_t bytes) override;
    void stopListening() noexcept override;

private:
    uint32_t transferFailed(int error);
    // Options that only TCP has: a socket of another kind (a Unix-domain pair) needs none.
    void setTcpOption(int name, int value);
    // A blocking socket's writeFrom() sends without blocking and waits in poll(), where it can
    // judge its limit; read() and write() block again.
    void setUnblockedForFiles(bool unblocked);

    bool m_sendShutDown = false;
    bool m_unblockedForFiles = false;
    int32_t m_sendMillis = 0; // the send limit; 0 for none
};

// Takes ownership of an open socket descriptor, e.g. one end of a socketpair.
Pointer<Socket> adoptSocket(int descriptor);

} // namespace vexa
