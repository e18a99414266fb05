#include "server/content_types.hpp"

#include "core/text.hpp"

std::map<std::string, std::string> contentTypes;
std::string defaultContentType;

void fillContentTypes()
{
    static const char* const table[][2] = {
        {".htm", "text/html"},     {".html", "text/html"},  {".js", "text/javascript"},
        {".css", "text/css"},      {".png", "image/png"},   {".jpg", "image/jpeg"},
        {".svg", "image/svg+xml"}, {".ogg", "audio/ogg"},   {".oga", "audio/ogg"},
        {".mp3", "audio/mpeg"},    {".ogv", "video/ogg"},   {".webm", "video/webm"},
        {".mp4", "video/mp4"},     {".flv", "video/x-flv"}, {".f4v", "video/x-flv"},
    };
    for (const auto& row : table)
        contentTypes.insert(std::make_pair(row[0], row[1]));
    defaultContentType = "application/octet-stream";
}

bool hasContentType(const std::string& extension)
{
    return contentTypes.count(vexa::toLower(extension)) != 0;
}

// Cameras and Windows write upper-case extensions: 'DSC0001.JPG' is a picture too.
const std::string& contentTypeOf(const std::string& extension)
{
    auto found = contentTypes.find(vexa::toLower(extension));
    return found == contentTypes.end() ? defaultContentType : found->second;
}
