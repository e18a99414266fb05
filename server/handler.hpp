#pragma once

#include "core/iodevice.hpp"
#include "server/connection_settings.hpp"

// Serves one request on the connection and closes it; catches every std::exception.
void handleConnection(vexa::Pointer<vexa::IODevice> connection);
void serveConnection(vexa::Pointer<vexa::IODevice> connection, const ConnectionSettings& settings);
