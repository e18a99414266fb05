#pragma once

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
