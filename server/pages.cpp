#include "server/pages.hpp"

#include "core/directory.hpp"
#include "server/content_types.hpp"

#include <vector>

namespace fs = boost::filesystem;

namespace {

std::string linkLine(const fs::path& requestPath, const std::string& name)
{
    return "<p><a href=\"" + linkTarget(requestPath / name) + "\">" + htmlEscape(name) +
           "</a></p>\n";
}

bool isListed(const std::string& name)
{
    return hasContentType(fs::path(name).extension().string());
}

// Sub-directories first, then the files of a listed type, each in the directory's own order.
// The entries are read once (an SMB share gave 2 of 24 when read again): the sub-directories
// go out as they come, the files' names wait in pieces of 64 KiB, which are never copied to
// grow and which the allocator can give back.
void linkLines(vexa::Directory& directory, const fs::path& requestPath, const LineOut& out)
{
    const std::size_t PIECE = 65536;
    std::string name;
    std::vector<std::string> files(1);
    vexa::Directory::EntryType type;
    while (directory.next(name, type)) {
        if (type == vexa::Directory::DIRECTORY) {
            out(linkLine(requestPath, name));
        } else if (type == vexa::Directory::REGULAR_FILE && isListed(name)) {
            if (files.back().size() + name.size() >= PIECE) {
                files.emplace_back();
                files.back().reserve(PIECE);
            }
            files.back().append(name).push_back('\0'); // a byte that no name holds
        }
    }
    for (const std::string& piece : files) {
        for (std::size_t at = 0; at < piece.size(); at += name.size() + 1) {
            name = piece.c_str() + at;
            out(linkLine(requestPath, name));
        }
    }
}

} // namespace

std::string htmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string linkTarget(const fs::path& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "/";
    for (char c : path.generic_string()) {
        unsigned char b = static_cast<unsigned char>(c);
        bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                     b == '-' || b == '.' || b == '_' || b == '~' || b == '/';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

PageLines listingPage(const fs::path& directory, const fs::path& requestPath)
{
    // Opened before the first byte: a directory that cannot be read (removed, not permitted,
    // no descriptor left) gets the 404 instead of a page that stops short.
    vexa::Pointer<vexa::Directory> entries = vexa::openDirectory(directory.string());
    return [entries, directory, requestPath](const LineOut& out) {
        out("<html>\n");
        out("<head>\n");
        out("<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>\n");
        out("<title>" + htmlEscape(directory.filename().string()) + "</title>\n");
        out("</head>\n");
        out("<body>\n");
        out("<p>" + htmlEscape(directory.string()) + "</p>\n");
        linkLines(*entries, requestPath, out);
        out("Tesmer by <a href=\"https://harnow.example\">Orvane</a>\n");
        out("</body>\n");
        out("</html>\n");
    };
}
