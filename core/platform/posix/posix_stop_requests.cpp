#include "core/stop_requests.hpp"

#include <csignal>
#include <pthread.h>
#include <unistd.h>

namespace vexa {

namespace {

sigset_t stopSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

} // namespace

void holdStopRequests()
{
    // Blocked in every thread, the signals stay pending until sigwait() takes them: no work is
    // ever done inside a signal handler.
    sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int32_t waitForStopRequest()
{
    sigset_t signals = stopSignals();
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    return signal;
}

void endAsRequested(int32_t request)
{
    // Killed by the signal itself, the process ends with the status a service manager expects.
    std::signal(request, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, request);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(request);
    _exit(128 + request);
}

} // namespace vexa
