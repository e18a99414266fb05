#pragma once

#include "core/platform/handle_device.hpp"
#include "core/platform/win32/handles.hpp"
#include "core/socket.hpp"

namespace vexa {

// Socket on Winsock 2. Made by createSocket, accept and adoptSocket only.
class Win32Socket : public HandleDevice<Socket, SocketHandle>
{
public:
    using HandleDevice::HandleDevice;

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

    SOCKET handle() const { return m_handle.get(); }

private:
    uint32_t transferFailed();
    Pointer<Socket> acceptInto(sockaddr_in* peer);
};

// Takes ownership of an open socket, e.g. one a test made itself.
Pointer<Socket> adoptSocket(SOCKET socket);

} // namespace vexa
