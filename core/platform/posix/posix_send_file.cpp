#include "core/platform/posix/posix_socket.hpp"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace vexa {

namespace {

using Clock = std::chrono::steady_clock;

// Waits until the socket takes bytes again: false once the deadline has passed.
bool awaitRoom(int descriptor, bool limited, Clock::time_point deadline)
{
    for (;;) {
        int wait = -1;
        if (limited) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            wait = int(left.count());
        }
        pollfd entry = {descriptor, POLLOUT, 0};
        int ready = ::poll(&entry, 1, wait);
        // A failed socket is ready too: the next send reports it.
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
    }
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
    int from = file.cacheDescriptor();
    if (from < 0)
        return IODevice::writeFrom(file, size);
    // A blocking sendfile() waits out the send limit anew for each part of the piece that the
    // kernel sends by itself: a client that reads slowly, or not at all, held the thread two or
    // three times the limit, or longer. So it never blocks, and the wait is here, against one
    // deadline for the call.
    if (!m_nonBlocking && !m_unblockedForFiles)
        setUnblockedForFiles(true);
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_sendMillis);
    uint32_t sent = 0;
    while (sent < size) {
        ssize_t n = ::sendfile(m_handle.get(), from, nullptr, size - sent);
        int error = errno;
        if (n > 0) {
            sent += uint32_t(n);
            continue;
        }
        if (n == 0) // the end of the file
            break;
        if (error == EINTR || (error == EAGAIN && !m_nonBlocking &&
                               awaitRoom(m_handle.get(), m_sendMillis > 0, deadline)))
            continue;
        // As a send cut short: what went is told, a failure shows again at the next call.
        if (sent > 0)
            break;
        // A file system that cannot hand its pages over: through a buffer.
        if (error == EINVAL || error == ENOSYS)
            return IODevice::writeFrom(file, size);
        if (int fileError = fileFailure(from, error))
            throwFileError(fileError);
        return transferFailed(error);
    }
    return sent;
}

} // namespace vexa
