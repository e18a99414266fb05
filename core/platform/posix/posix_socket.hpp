#pragma once

#include "core/platform/handle_device.hpp"
#include "core/platform/posix/descriptor.hpp"
#include "core/socket.hpp"

namespace vexa {

// Socket on BSD sockets. Made by createSocket, accept and adoptSocket only.
class PosixSocket : public HandleDevice<Socket, SocketDescriptor>
{
public:
    // bothFamilies: an IPv6 socket that bind() opens to IPv4 too.
    PosixSocket(int descriptor, bool nonBlocking, bool bothFamilies = false);

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
    bool sendsFile(File& file) override;
    uint32_t sendFile(File& file, uint32_t size) override;
    bool isListening() override;
    void setResetOnClose(bool reset) override;
    void stopListening() noexcept override;

    int descriptor() const { return m_handle.get(); }

private:
    uint32_t transferFailed(int error);
    Pointer<Socket> acceptInto(void* address, void* length);
    // A blocking socket's sendFile() sends without blocking and waits in poll(), so that its
    // limit holds for the whole call; read() and write() block again.
    void setUnblockedForFiles(bool unblocked);

    bool m_nonBlocking;
    bool m_bothFamilies;
    bool m_sendShutDown;
    bool m_unblockedForFiles;
    int32_t m_sendMillis; // the send limit; 0 for none
};

// Takes ownership of an open socket descriptor, e.g. one end of a socketpair.
Pointer<Socket> adoptSocket(int descriptor);

} // namespace vexa
