#pragma once

#include "core/socket.hpp"

#include <string>
#include <vector>

namespace harnow_test {

// A real socket that records each write and each send of a file's piece: its size and what it
// took (0 when it raised).
class RecordingSocket : public vexa::Socket
{
public:
    struct Write
    {
        uint32_t size;
        uint32_t taken;
    };

    explicit RecordingSocket(vexa::Pointer<vexa::Socket> socket) : m_socket(socket) {}

    uint32_t write(const char* data, uint32_t size) override
    {
        writes.push_back({size, 0});
        return writes.back().taken = m_socket->write(data, size);
    }
    uint32_t writeFrom(vexa::File& file, uint32_t size) override
    {
        writes.push_back({size, 0});
        return writes.back().taken = m_socket->writeFrom(file, size);
    }
    void setTimeouts(int32_t receiveMillis, int32_t sendMillis) override
    {
        m_socket->setTimeouts(receiveMillis, sendMillis);
    }
    uint32_t read(char* buffer, uint32_t size) override { return m_socket->read(buffer, size); }
    void close() override { m_socket->close(); }
    uint32_t getState() override { return m_socket->getState(); }
    void connect(vexa::StringRef host, int32_t port) override { m_socket->connect(host, port); }
    void connectBroadcast(int32_t port) override { m_socket->connectBroadcast(port); }
    void bind(int32_t port) override { m_socket->bind(port); }
    void listen(int32_t backlog) override { m_socket->listen(backlog); }
    vexa::Pointer<Socket> accept(std::string& address, int32_t& port) override
    {
        return m_socket->accept(address, port);
    }
    vexa::Pointer<Socket> accept() override { return m_socket->accept(); }
    void shutdown() override { m_socket->shutdown(); }
    void setCork(bool corked) override { m_socket->setCork(corked); }
    void setUnsentLimit(int32_t bytes) override { m_socket->setUnsentLimit(bytes); }
    bool isListening() override { return m_socket->isListening(); }
    void setResetOnClose(bool reset) override { m_socket->setResetOnClose(reset); }
    void stopListening() noexcept override { m_socket->stopListening(); }

    std::vector<Write> writes;

private:
    vexa::Pointer<vexa::Socket> m_socket;
};

} // namespace harnow_test
