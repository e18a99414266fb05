#include "core/platform/startup.hpp"

#include <sys/resource.h>

namespace vexa {

void startNetwork()
{
    // BSD sockets need no start-up call; writes avoid SIGPIPE per call (MSG_NOSIGNAL).
    // Each connection holds a descriptor, and a login shell's soft limit of 1024 would cap
    // the server near a thousand connections while the hard limit allows far more.
    rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace vexa
