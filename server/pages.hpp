#pragma once

#include "server/reply.hpp"

#include <boost/filesystem/path.hpp>

#include <string>

// The listing page of a directory, whose lines are made as they go out: its sub-directories
// first, then its files of a listed type; an entry whose type cannot be read is left out. The
// directory is opened here, before the first byte: raises FileException when it cannot be.
// The request path makes the links.
PageLines listingPage(const boost::filesystem::path& directory,
                      const boost::filesystem::path& requestPath);

// & < > " ' as entities, so a file name can never become markup.
std::string htmlEscape(const std::string& text);

// The root-relative link to a path under the served directory, percent-encoded so that
// '#', '?', '%', spaces and non-ASCII names all reach the server as they are.
std::string linkTarget(const boost::filesystem::path& path);
