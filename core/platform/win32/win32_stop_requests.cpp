#include "core/stop_requests.hpp"

#include <windows.h>

#include <atomic>

namespace vexa {

namespace {

HANDLE requested = nullptr; // set when a request has been taken
HANDLE ended = nullptr;     // set when the process may end
std::atomic<bool> waiting(false);
std::atomic<bool> taken(false);
std::atomic<DWORD> request(0);

// Runs on a thread that the console starts for each event. It hands the first request to the
// thread that waits and holds the event until the stop is done; then the default handler ends
// the process. Before anyone waits, and for a second request, the default handler ends it at
// once.
BOOL WINAPI takeRequest(DWORD type)
{
    if (!waiting || taken.exchange(true))
        return FALSE;
    request = type;
    SetEvent(requested);
    WaitForSingleObject(ended, INFINITE);
    return FALSE;
}

} // namespace

void holdStopRequests()
{
    requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (requested && ended)
        SetConsoleCtrlHandler(takeRequest, TRUE);
}

int32_t waitForStopRequest()
{
    waiting = true;
    // Without its events no handler was set: the default one ends the process.
    while (WaitForSingleObject(requested, INFINITE) != WAIT_OBJECT_0)
        Sleep(INFINITE);
    return int32_t(request.load());
}

void endAsRequested(int32_t)
{
    SetEvent(ended);
    for (;;)
        Sleep(INFINITE);
}

} // namespace vexa
