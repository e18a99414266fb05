#include "server/limited_socket.hpp"

#include "core/exceptions.hpp"

#include <atomic>

using namespace vexa;

namespace {

const uint32_t DRAIN_BUFFER = 4096;

std::atomic<int32_t> underWay(0);

int32_t millisUntil(std::chrono::steady_clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? int32_t(left.count()) : 0;
}

} // namespace

LimitedSocket::LimitedSocket(Pointer<Socket> socket, const ConnectionSettings& settings)
    : m_socket(socket), m_settings(settings),
      m_deadline(Clock::now() + std::chrono::milliseconds(settings.requestMillis)),
      m_receiveMillis(settings.idleMillis)
{
    // Every header line is a write of its own; corked, they leave with the body in full
    // segments instead of one small segment each. The close sends what is held.
    m_socket->setCork(true);
    m_socket->setTimeouts(m_receiveMillis, settings.writeMillis);
}

LimitedSocket::~LimitedSocket()
{
    countReply(false);
}

void LimitedSocket::countReply(bool begun)
{
    if (begun != m_underWay) {
        m_underWay = begun;
        underWay += begun ? 1 : -1;
    }
}

uint32_t LimitedSocket::read(char* buffer, uint32_t size)
{
    int32_t left = millisUntil(m_deadline);
    if (left == 0)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    if (left < m_receiveMillis) {
        m_receiveMillis = left;
        m_socket->setTimeouts(m_receiveMillis, -1);
    }
    return m_socket->read(buffer, size);
}

// A send stopped by its limit may still have taken a few bytes; a whole new limit for each
// retry would let a client hold the thread for ever.
uint32_t LimitedSocket::write(const char* data, uint32_t size)
{
    // The head goes out first, through here.
    countReply(true);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_settings.writeMillis);
    uint32_t sent = m_socket->write(data, size);
    if (sent < size && sent > 0) {
        for (uint32_t more = 1; sent < size && more > 0; sent += more) {
            int32_t left = millisUntil(deadline);
            if (left == 0)
                throw NetworkException(NetworkException::NETWORK_ERROR);
            m_socket->setTimeouts(-1, left);
            more = m_socket->write(data + sent, size - sent);
        }
        m_socket->setTimeouts(-1, m_settings.writeMillis);
    }
    // A blocking socket takes a byte or raises; one that takes none would wait for ever.
    if (sent < size)
        throw NetworkException(NetworkException::NETWORK_ERROR);
    return size;
}

uint32_t LimitedSocket::writeFrom(File& file, uint32_t size)
{
    return m_socket->writeFrom(file, size);
}

void LimitedSocket::close()
{
    m_socket->setResetOnClose(false);
    m_socket->close();
}

uint32_t LimitedSocket::getState()
{
    return m_socket->getState();
}

void LimitedSocket::closeGracefully()
{
    try {
        m_socket->setResetOnClose(false);
        // Whole: the end of the process would now send the rest and end it cleanly.
        countReply(false);
        m_socket->shutdown();
        Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(m_settings.drainMillis);
        char buffer[DRAIN_BUFFER];
        for (int32_t drained = 0; drained < m_settings.drainBytes;) {
            int32_t left = millisUntil(deadline);
            if (left == 0)
                break;
            m_socket->setTimeouts(left, -1);
            uint32_t n = m_socket->read(buffer, DRAIN_BUFFER);
            if (n == 0)
                break;
            drained += int32_t(n);
        }
    } catch (const NetworkException&) {
        // The reply is out; a client that resets or stalls now changes nothing.
    }
    m_socket->close();
}

void LimitedSocket::abort()
{
    // Whatever the socket was born with: a reply cut short must fail where the client sees it.
    m_socket->setResetOnClose(true);
    m_socket->close();
}

int32_t repliesUnderWay()
{
    return underWay;
}
