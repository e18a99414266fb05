#pragma once

#include "core/file.hpp"

#include <cstdint>
#include <string>

// How one connection is served. A connection that is a socket gets the time limits; any other
// device (a test's fake) is served without them.
struct ConnectionSettings
{
    int32_t idleMillis;    // without a byte while the request is read
    int32_t requestMillis; // for the whole request line and header lines
    int32_t writeMillis;   // for each line of the reply, from its first send, and for each 4096
                           // bytes of a file that the client takes
    int32_t drainMillis;   // reading what the client still sends after the reply
    int32_t drainBytes;
    int32_t maxHeaderLines; // after the request line
    vexa::Pointer<vexa::File> (*open)(const std::string& path, int32_t mode);
};

// The server's own: handler.cpp holds them.
extern const ConnectionSettings defaultSettings;
