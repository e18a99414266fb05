#include "core/console.hpp"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexa {

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t WHOLE = UINT32_MAX;

struct Output
{
    int descriptor;
    bool polled; // not a regular file, which is written as it comes: it never stalls for long
    uint32_t largestPiece;
};

// Setting O_NONBLOCK on descriptor 1 would set it for the shell that shares the terminal or
// pipe, so a pipe or terminal is opened again: a description of our own, non-blocking. Where
// that is refused (a pipe of another user, a socket), poll() before each write and pieces
// that a pipe takes whole keep the wait short.
Output openOutput()
{
    struct stat status;
    if (::fstat(STDOUT_FILENO, &status) != 0 || S_ISREG(status.st_mode))
        return {STDOUT_FILENO, false, WHOLE};
    if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
        int descriptor = ::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (descriptor >= 0)
            return {descriptor, true, WHOLE};
    }
    return {STDOUT_FILENO, true, PIPE_BUF};
}

int millisUntil(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

} // namespace

uint32_t writeConsole(const char* data, uint32_t size, int32_t waitMillis) noexcept
{
    static const Output output = openOutput();
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMillis);
    uint32_t written = 0;
    while (written < size) {
        if (output.polled) {
            pollfd ready = {output.descriptor, POLLOUT, 0};
            int result = ::poll(&ready, 1, millisUntil(deadline));
            if (result < 0 && errno == EINTR)
                continue;
            if (result <= 0)
                break;
        }
        uint32_t piece =
            size - written < output.largestPiece ? size - written : output.largestPiece;
        ssize_t n = ::write(output.descriptor, data + written, piece);
        // Ready but refused: try again while there is time, never in a busy loop beyond it.
        if (n < 0 && (errno == EINTR || (errno == EAGAIN && millisUntil(deadline) > 0)))
            continue;
        if (n <= 0)
            break;
        written += uint32_t(n);
    }
    return written;
}

} // namespace vexa
