#pragma once

#include "core/platform/handle_device.hpp"
#include "core/platform/posix/descriptor.hpp"
#include "core/socket.hpp"

namespace vexa {

// Socket on BSD sockets. Made by createSocket, accept and adoptSocket only.
class PosixSocket : public HandleDevice<Socket, SocketDescriptor>
{
public:
    PosixSocket(int descriptor, bool nonBlocking);

    uint32_t read(char* buffer, uint32_t size) override;
    uint32_t write(const char* data, uint32_t size) override;

    void connect(StringRef host, int32_t port) override;
    void connectBroadcast(int32_t port) override;
    void bind(int32_t port) override;
    void listen(int32_t backlog) override;
    Pointer<Socket> accept(std::string& address, int32_t& port) override;
    Pointer<Socket> accept() override;
    void shutdown() override;
    void setTimeouts(int32_t receiveMillis, int32_t sendMillis) override;
    void setCork(bool corked) override;
    bool isListening() override;
    void setResetOnClose(bool reset) override;
    void stopListening() noexcept override;

    int descriptor() const { return m_handle.get(); }

private:
    uint32_t transferFailed(int error);
    Pointer<Socket> acceptInto(void* address, void* length);

    bool m_nonBlocking;
    bool m_sendShutDown;
};

// Takes ownership of an open socket descriptor, e.g. one end of a socketpair.
Pointer<Socket> adoptSocket(int descriptor);

} // namespace vexa
