#pragma once

#include "core/socket.hpp"
#include "server/connection_settings.hpp"

#include <chrono>

// A connection's socket under the time limits. The request head is read under an idle limit
// and one overall deadline, so a client that trickles a byte now and then cannot hold its
// thread for ever; for the same reason each line of the reply must go out whole within the
// write limit of its first send, and a file's bytes are cut off once the client has taken
// less than 4 KiB of them within the write limit (the socket's file operation judges that).
// Until its reply is whole, closing the socket resets the connection, and so does the end of
// the process, however it comes (the server's connections are born resetting, from their
// listener): a client never takes a reply cut short for a whole one.
class LimitedSocket : public vexa::IODevice
{
public:
    LimitedSocket(vexa::Pointer<vexa::Socket> socket, const ConnectionSettings& settings);
    ~LimitedSocket() override;

    uint32_t read(char* buffer, uint32_t size) override;
    // Sends the piece whole or raises.
    uint32_t write(const char* data, uint32_t size) override;
    // Sends the file's piece, or what the file has left of it, under the socket's write limit.
    uint32_t writeFrom(vexa::File& file, uint32_t size) override;
    // Ends the connection cleanly: for a request refused with nothing written.
    void close() override;
    uint32_t getState() override;

    // Ends a whole reply without a reset: closing over unread request bytes would make the
    // system send one, and the client could lose the reply it is still reading.
    void closeGracefully();
    // Ends a reply that cannot be finished with a reset, so that the client sees it fail.
    void abort();

private:
    using Clock = std::chrono::steady_clock;

    // Counts the reply among those under way from its first write until it is whole.
    void countReply(bool begun);

    vexa::Pointer<vexa::Socket> m_socket;
    const ConnectionSettings m_settings;
    Clock::time_point m_deadline;
    int32_t m_receiveMillis;
    bool m_underWay = false;
};

// The replies whose head has begun to go out and that are not whole yet: those that the end of
// the process would cut short. Idle connections and requests still being read are not among them.
int32_t repliesUnderWay();
