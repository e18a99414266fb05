#pragma once

#include "core/iodevice.hpp"

#include <string>

// Writes every byte: a socket may take a piece only in part (a time limit ran out midway),
// and a byte silently dropped would corrupt the reply.
void writeAll(vexa::IODevice& connection, const char* data, uint32_t size);

inline void writeText(vexa::IODevice& connection, const std::string& text)
{
    writeAll(connection, text.data(), uint32_t(text.size()));
}
