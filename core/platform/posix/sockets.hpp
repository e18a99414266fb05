#pragma once

// The system's socket headers, by the name that the shared platform sources include, and the
// socket handle the shared code owns.
#include "core/platform/posix/descriptor.hpp"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
