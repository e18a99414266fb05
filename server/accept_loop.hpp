#pragma once

#include "core/socket.hpp"

// Hands each connection to a detached thread of its own, for ever. Only a failure of the
// listening socket itself ends the loop, by raising it; a failed accept or thread start costs
// one connection. Once a stop has ended the listener, the loop waits for the process to end.
void acceptLoop(vexa::Socket& listener);

// Starts the thread that takes the request to stop the process (SIGTERM, Ctrl+C, the terminal
// or console window closed) and stops in order: the listener is stopped, so connections are
// refused from then on; the replies in flight get up to 2 s to finish and the console about
// 1 s for its last lines; then the process ends as the request would have ended it. A reply
// still running then is reset, and a line before the last ones says how many were.
void stopOnRequest(vexa::Pointer<vexa::Socket> listener);
