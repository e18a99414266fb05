#include "core/platform/startup.hpp"

#include <csignal>
#include <sys/resource.h>

namespace vexa {

void startNetwork()
{
    // BSD sockets need no start-up call. Writes avoid SIGPIPE per call (MSG_NOSIGNAL), but
    // sendfile() has no such flag: a client gone must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Each connection holds a descriptor, and a login shell's soft limit of 1024 would cap
    // the server near a thousand connections while the hard limit allows far more.
    rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace vexa
