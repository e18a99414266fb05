#pragma once

#include <map>
#include <string>

// Extension (with its dot, matched byte for byte) -> MIME type. Filled once before any
// connection is accepted and only read afterwards, so the connection threads need no lock.
extern std::map<std::string, std::string> contentTypes;
extern std::string defaultContentType;

void fillContentTypes();
const std::string& contentTypeOf(const std::string& extension);
