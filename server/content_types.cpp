#include "server/content_types.hpp"

std::map<std::string, std::string> contentTypes;
std::string defaultContentType;

void fillContentTypes()
{
    static const char* const table[][2] = {
        {".htm", "text/html"},     {".html", "text/html"},  {".js", "text/javascript"},
        {".css", "text/css"},      {".png", "image/png"},   {".jpg", "image/jpeg"},
        {".svg", "image/svg+xml"}, {".ogg", "audio/ogg"},   {".oga", "audio/ogg"},
        {".mp3", "audio/mpeg"},    {".ogv", "video/ogg"},   {".webm", "video/webm"},
        {".mp4", "video/mpeg"},    {".flv", "video/x-flv"}, {".f4v", "video/x-flv"},
    };
    for (const auto& row : table)
        contentTypes.insert(std::make_pair(row[0], row[1]));
    defaultContentType = "application/octet-stream";
}

const std::string& contentTypeOf(const std::string& extension)
{
    auto found = contentTypes.find(extension);
    return found == contentTypes.end() ? defaultContentType : found->second;
}
