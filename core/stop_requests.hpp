#pragma once

#include <cstdint>

namespace vexa {

// The requests to stop the process: SIGTERM (a service manager), SIGINT (Ctrl+C) and SIGHUP
// (the terminal closed), each unless it was ignored when the process started (nohup); on
// Windows Ctrl+C, Ctrl+Break, the console window closed, logoff and shutdown. One thread takes
// them, so that the process can stop in order.

// Holds the requests back from every thread but the one that waits for them. One that comes
// before a thread waits is held until then (on Windows it ends the process at once, as it would
// unhandled). Call before any thread is started: the threads inherit it.
void holdStopRequests();
// Waits for the first request to stop; returns which it is.
int32_t waitForStopRequest();
// Ends the process as the request would have ended it had nothing taken it: killed by the
// signal, or on Windows by the console's default handler.
[[noreturn]] void endAsRequested(int32_t request);

} // namespace vexa
