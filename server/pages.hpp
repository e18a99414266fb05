#pragma once

#include "core/exceptions.hpp"
#include "core/iodevice.hpp"

#include <boost/filesystem/path.hpp>

#include <string>

// The HTML page for a directory: sub-directories first, then files of a known type; an entry
// whose type cannot be read is left out. Raises FileException, before anything is written or
// printed, when the directory cannot be opened. Returns false, with a console line, when the
// page has begun and the directory cannot be read to its end.
bool sendDirectoryListing(const vexa::Pointer<vexa::IODevice>& connection,
                          const boost::filesystem::path& requestPath);

// The bare 404 reply and its console line, which names the request path's text.
void sendNotFound(const vexa::Pointer<vexa::IODevice>& connection,
                  const vexa::FileException& exception, const std::string& requestText);

// & < > " ' as entities, so a file name can never become markup.
std::string htmlEscape(const std::string& text);

// The root-relative link to a path under the served directory, percent-encoded so that
// '#', '?', '%', spaces and non-ASCII names all reach the server as they are.
std::string linkTarget(const boost::filesystem::path& path);
