#pragma once

#include "server/request.hpp"

#include <boost/filesystem/path.hpp>

#include <string>

// The console lines of a connection, and how request text is shown on the console.

// Control bytes (C0, DEL and C1) and bytes that are not valid UTF-8 as \xNN; valid UTF-8 text
// stays as it is.
std::string escapeControls(const std::string& text);

// A path as the console shows it: UTF-8 between double quotes, '&' before every '"' and '&'.
std::string quotedPath(const boost::filesystem::path& path);
// The same for a path's UTF-8 text, which need not make a path (bytes that are no UTF-8 make
// none on Windows).
std::string quotedText(const std::string& text);

// A file sent: its path, "(start-last/size)" or "(size)", and its content type. A range that
// selects nothing: its path, "(range as asked of size)" and "not satisfiable".
std::string fileLine(const boost::filesystem::path& requestPath, const ByteRange& range,
                     int64_t size, const std::string& contentType);
std::string listingLine(const boost::filesystem::path& directory);
std::string errorLine(const char* what, const std::string& requestText);
