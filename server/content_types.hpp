#pragma once

#include <map>
#include <string>

// Extension (with its dot, in lower case) -> MIME type. Filled once before any connection is
// accepted and only read afterwards, so the connection threads need no lock.
extern std::map<std::string, std::string> contentTypes;
extern std::string defaultContentType;

void fillContentTypes();
// An extension is looked up with its ASCII letters in any case: '.JPG' is a '.jpg'.
bool hasContentType(const std::string& extension);
const std::string& contentTypeOf(const std::string& extension);
