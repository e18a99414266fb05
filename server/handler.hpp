#pragma once

#include "core/file.hpp"
#include "core/iodevice.hpp"

// How one connection is served. A connection that is a socket gets the time limits; any other
// device (a test's fake) is served without them.
struct ConnectionSettings
{
    int32_t idleMillis;    // without a byte while the request is read
    int32_t requestMillis; // for the whole request line and header lines
    int32_t writeMillis;   // for each piece of the reply, from its first send
    int32_t drainMillis;   // reading what the client still sends after the reply
    int32_t drainBytes;
    int32_t maxHeaderLines; // after the request line
    vexa::Pointer<vexa::File> (*open)(const std::string& path, int32_t mode);
};

extern const ConnectionSettings defaultSettings;

// The connections whose reply is whole and which are only being closed (what the client still
// sends is read first): ending the process cuts none of their replies short.
int32_t closingConnections();

// Serves one request on the connection and closes it; catches every std::exception.
void handleConnection(vexa::Pointer<vexa::IODevice> connection);
void serveConnection(vexa::Pointer<vexa::IODevice> connection, const ConnectionSettings& settings);
