#include "core/stop_requests.hpp"

#include <csignal>
#include <initializer_list>
#include <pthread.h>
#include <unistd.h>

namespace vexa {

namespace {

// Set before any thread starts, and only read afterwards.
sigset_t taken;

} // namespace

void holdStopRequests()
{
    // One ignored at start stays ignored ('nohup harnow', a script's job in the background):
    // blocked, the kernel would queue it despite the ignore, and sigwait() would take it.
    sigemptyset(&taken);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction action;
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN)
            sigaddset(&taken, signal);
    }
    // Blocked in every thread, the signals stay pending until sigwait() takes them: no work is
    // ever done inside a signal handler.
    pthread_sigmask(SIG_BLOCK, &taken, nullptr);
}

int32_t waitForStopRequest()
{
    int signal = 0;
    while (sigwait(&taken, &signal) != 0) {
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
