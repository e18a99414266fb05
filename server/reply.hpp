#pragma once

#include "core/iodevice.hpp"
#include "server/request.hpp"

#include <string>

// Writes every byte: a socket may take a piece only in part (a time limit ran out midway),
// and a byte silently dropped would corrupt the reply.
void writeAll(vexa::IODevice& connection, const char* data, uint32_t size);

inline void writeText(vexa::IODevice& connection, const std::string& text)
{
    writeAll(connection, text.data(), uint32_t(text.size()));
}

// The reply heads, up to and including the empty line. Each header line is a write of its own.

// 200 for the whole file, 206 for a range of it.
void writeFileHead(vexa::IODevice& connection, const ByteRange& range, int64_t size,
                   const std::string& contentType);
// 416: nothing of the file lies in the range.
void writeRangeNotSatisfiable(vexa::IODevice& connection, int64_t size);
// 200 for a listing page; no Content-Length, the end of the connection ends the page.
void writeListingHead(vexa::IODevice& connection);
// The bare 404: the whole reply.
void writeNotFound(vexa::IODevice& connection);
