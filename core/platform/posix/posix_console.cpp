#include "core/console_output.hpp"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vexa {

void prepareConsole()
{
    // A launcher may start us with standard descriptors closed; the listening socket or a
    // connection would then take number 1 and get the console lines. Each number that is
    // free is the lowest free one by then, so open() gives exactly it. A root without
    // /dev/null (a bare chroot, a minimal container) has '/' hold it: no write goes to that.
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) < 0)
            ::open("/", O_PATH);
    }
}

uint32_t writeConsole(const char* data, uint32_t size) noexcept
{
    uint32_t written = 0;
    while (written < size) {
        ssize_t n = ::write(STDOUT_FILENO, data + written, size - written);
        if (n > 0) {
            written += uint32_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            // Output shared with a program that made it non-blocking: wait for room.
            pollfd ready = {STDOUT_FILENO, POLLOUT, 0};
            ::poll(&ready, 1, -1);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return written;
}

bool consoleIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool ownsConsoleAlone()
{
    // A terminal stays open when its program exits.
    return false;
}

void waitForEnter() {}

} // namespace vexa
