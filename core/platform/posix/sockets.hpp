#pragma once

// The system's socket headers, by the name that the shared platform sources include.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
