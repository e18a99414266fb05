#pragma once

#include "server/request.hpp"

#include <boost/filesystem/path.hpp>
#include <boost/thread/mutex.hpp>

#include <string>

// Held while one console line is written, so lines of different connections never mix.
extern boost::mutex consoleMutex;

// Writes one line to standard output under consoleMutex. Control bytes become \xNN so that
// request text can neither clear the operator's terminal nor forge a line.
void printLine(const std::string& line);

// A path as the console shows it: UTF-8 between double quotes, '&' before every '"' and '&'.
std::string quotedPath(const boost::filesystem::path& path);

// The console lines of a connection.
// A file sent: its path, "(start-last/size)" or "(size)", and its content type.
std::string fileLine(const boost::filesystem::path& requestPath, const ByteRange& range,
                     int64_t size, const std::string& contentType);
std::string listingLine(const boost::filesystem::path& directory);
std::string errorLine(const char* what);
std::string errorLine(const char* what, const boost::filesystem::path& requestPath);
