#pragma once

#include "server/request.hpp"

#include <boost/filesystem/path.hpp>
#include <boost/thread/mutex.hpp>

#include <string>

// Held while one console line is written, so lines of different connections never mix.
extern boost::mutex consoleMutex;

// Where console lines go: standard output, waiting at most the given time for it (a console
// that takes nothing must not stop the server). Tests put a function of their own here.
extern uint32_t (*consoleOutput)(const char* data, uint32_t size, int32_t waitMillis);

// Writes one line to the console under consoleMutex, in one write. Control bytes (C0 and C1)
// and bytes that are not valid UTF-8 become \xNN, so that request text can neither clear the
// operator's terminal nor forge a line. A line the console does not take within about a second
// is lost; while it stays blocked later lines are lost without waiting, and once it takes
// output again a line says how many were lost.
void printLine(const std::string& line);

// For the catch-alls: prefix and what() as one line, and never raises. When memory has run out
// even for that line, prints prefix and "out of memory" from a buffer of its own.
void printFailure(const char* prefix, const char* what) noexcept;

// A path as the console shows it: UTF-8 between double quotes, '&' before every '"' and '&'.
std::string quotedPath(const boost::filesystem::path& path);
// The same for a path's UTF-8 text, which need not make a path (bytes that are no UTF-8 make
// none on Windows).
std::string quotedText(const std::string& text);

// The console lines of a connection.
// A file sent: its path, "(start-last/size)" or "(size)", and its content type.
std::string fileLine(const boost::filesystem::path& requestPath, const ByteRange& range,
                     int64_t size, const std::string& contentType);
std::string listingLine(const boost::filesystem::path& directory);
std::string errorLine(const char* what, const std::string& requestText);
