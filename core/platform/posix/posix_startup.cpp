#include "core/console.hpp"
#include "core/modules.hpp"
#include "core/platform/startup.hpp"

#include <csignal>

namespace vexa {

void startNetwork()
{
    // BSD sockets need no start-up call; writes avoid SIGPIPE per call (MSG_NOSIGNAL).
}

void prepareConsole()
{
    // A console whose reader has gone ('harnow | head') must not take the server with it;
    // its lines are then dropped.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace vexa
