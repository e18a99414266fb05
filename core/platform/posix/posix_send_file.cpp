#include "core/platform/posix/posix_socket.hpp"

#include <cerrno>
#include <chrono>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace vexa {

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t BUFFER = 4096;
// What the peer must take within the send limit: one transfer buffer's worth.
const int64_t PROGRESS = 4096;
// How often a wait for room looks at what the peer has taken.
const int TICK_MILLIS = 1000;

// The send limit of one writeFrom(), judged by what the peer acknowledges: it runs out when
// the limit passes in which the peer took fewer than PROGRESS more bytes. Room in the socket
// cannot tell: poll() reports it only once a third of the send buffer, or half of the unsent
// bytes allowed, is free again, which a slow but steady reader may not free within a minute.
class SendClock
{
public:
    SendClock(int socket, int32_t limitMillis) : m_socket(socket), m_limit(limitMillis) {}

    // Waits until the socket has room for more of the handed bytes: false once the limit has
    // run out.
    bool awaitRoom(uint32_t handed)
    {
        for (;;) {
            Clock::time_point now = Clock::now();
            // Bytes handed minus those held unacknowledged: taken, counted from any origin.
            int held = 0;
            bool told = ::ioctl(m_socket, SIOCOUTQ, &held) == 0;
            int64_t taken = int64_t(handed) - held;
            // Where the system does not tell, the limit runs from the first wait.
            if (!m_waited || (told && taken >= m_mark + PROGRESS)) {
                m_waited = true;
                m_mark = taken;
                m_deadline = now + m_limit;
            }
            int wait = -1;
            if (m_limit.count() > 0) {
                auto left = std::chrono::ceil<std::chrono::milliseconds>(m_deadline - now);
                if (left.count() <= 0)
                    return false;
                wait = left.count() < TICK_MILLIS ? int(left.count()) : TICK_MILLIS;
            }
            pollfd entry = {m_socket, POLLOUT, 0};
            int ready = ::poll(&entry, 1, wait);
            // A failed socket is ready too: the next send reports it.
            if (ready > 0 || (ready < 0 && errno != EINTR))
                return true;
        }
    }

private:
    int m_socket;
    std::chrono::milliseconds m_limit;
    bool m_waited = false;
    int64_t m_mark = 0;
    Clock::time_point m_deadline;
};

// One piece through a buffer, for a file without a descriptor or on a file system that cannot
// hand its pages over; what the socket did not take goes back to the file. As send() returns.
ssize_t sendBuffered(int socket, File& file, uint32_t size)
{
    char buffer[BUFFER];
    uint32_t got = file.read(buffer, size < BUFFER ? size : BUFFER);
    if (got == 0)
        return 0;
    ssize_t sent;
    do
        sent = ::send(socket, buffer, got, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    int error = errno;
    uint32_t took = sent > 0 ? uint32_t(sent) : 0;
    if (took < got)
        file.seek(int64_t(took) - int64_t(got), File::CURRENT);
    errno = error;
    return sent;
}

// The file's own errno when a failed sendfile() was the file's failure, else 0. The errno alone
// cannot tell (ENOTCONN is a killed FUSE daemon's too), so the file is asked for one byte where
// the send stopped: if that fails too, the failure is the file's.
int fileFailure(int from, int error)
{
    if (error == EIO || error == EOVERFLOW) // the socket's never gives these
        return error;
    if (error == EAGAIN || error == EWOULDBLOCK)
        return 0;
    off_t at = ::lseek(from, 0, SEEK_CUR);
    char byte;
    ssize_t got;
    do
        got = at < 0 ? -1 : ::pread(from, &byte, 1, at);
    while (got < 0 && errno == EINTR);
    return got < 0 ? errno : 0;
}

} // namespace

uint32_t PosixSocket::writeFrom(File& file, uint32_t size)
{
    // A blocking sendfile() waits out the send limit anew for each part of the piece that the
    // kernel sends by itself, so it never blocks: the wait is the clock's.
    if (!m_nonBlocking && !m_unblockedForFiles)
        setUnblockedForFiles(true);
    int from = file.cacheDescriptor();
    SendClock clock(m_handle.get(), m_sendMillis);
    uint32_t sent = 0;
    while (sent < size) {
        ssize_t n = from >= 0 ? ::sendfile(m_handle.get(), from, nullptr, size - sent)
                              : sendBuffered(m_handle.get(), file, size - sent);
        int error = errno;
        if (n > 0) {
            sent += uint32_t(n);
            continue;
        }
        if (n == 0) // the end of the file
            break;
        if (error == EINTR)
            continue;
        if (error == EAGAIN && !m_nonBlocking) {
            if (clock.awaitRoom(sent))
                continue;
            throw NetworkException(NetworkException::NETWORK_ERROR);
        }
        if (from >= 0 && (error == EINVAL || error == ENOSYS)) {
            from = -1;
            continue;
        }
        // As a send cut short: what went is told, a failure shows again at the next call.
        if (sent > 0)
            break;
        if (int fileError = from >= 0 ? fileFailure(from, error) : 0)
            throwFileError(fileError);
        return transferFailed(error);
    }
    return sent;
}

} // namespace vexa
