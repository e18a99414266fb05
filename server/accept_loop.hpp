#pragma once

#include "core/socket.hpp"

// Hands each connection to a detached thread of its own, for ever. Only a failure of the
// listening socket itself ends the loop, by raising it; a failed accept or thread start costs
// one connection.
void acceptLoop(vexa::Socket& listener);
