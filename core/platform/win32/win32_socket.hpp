#pragma once

#include "core/platform/socket_core.hpp"

namespace vexa {

// Socket on Winsock 2. Made by createSocket, accept and adoptSocket only. A file goes through
// the buffer of IODevice::writeFrom: TransmitFile could send it from the cache, but client
// editions of Windows run two of them at a time in all, so two slow clients would hold up
// every other download, and under Wine it is several times slower than the buffer.
class Win32Socket : public SocketCore
{
public:
    using SocketCore::SocketCore;

    uint32_t read(char* buffer, uint32_t size) override;
    uint32_t write(const char* data, uint32_t size) override;

    void connect(StringRef host, int32_t port) override;
    void shutdown() override;
    void setTimeouts(int32_t receiveMillis, int32_t sendMillis) override;
    void setCork(bool corked) override;
    void setUnsentLimit(int32_t bytes) override;
    void stopListening() noexcept override;

private:
    uint32_t transferFailed();
};

// Takes ownership of an open socket, e.g. one a test made itself.
Pointer<Socket> adoptSocket(SOCKET socket);

} // namespace vexa
