#pragma once

namespace vexa {

// Starts the platform's socket layer, if it has one to start. A failure shows at the first
// socket operation, as "network error".
void startNetwork();

} // namespace vexa
