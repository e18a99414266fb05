#include "server/pages.hpp"

#include "core/directory.hpp"
#include "core/file.hpp"
#include "server/console_lines.hpp"
#include "server/console_writer.hpp"
#include "server/content_types.hpp"
#include "server/reply.hpp"

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;
using vexa::IODevice;

namespace {

void writeLink(IODevice& connection, const fs::path& requestPath, const std::string& name)
{
    writeText(connection, "<p><a href=\"" + linkTarget(requestPath / name) + "\">" +
                              htmlEscape(name) + "</a></p>\n");
}

bool isListed(const std::string& name)
{
    return hasContentType(fs::path(name).extension().string());
}

// Sub-directories first, then the files of a listed type, each in the directory's own order:
// two passes over the one open directory. Raises FileException when it cannot be read on.
void writeLinks(IODevice& out, const fs::path& requestPath, vexa::Directory& directory)
{
    std::string name;
    vexa::Directory::EntryType type;
    while (directory.next(name, type)) {
        if (type == vexa::Directory::DIRECTORY)
            writeLink(out, requestPath, name);
    }
    directory.rewind();
    while (directory.next(name, type)) {
        if (type == vexa::Directory::REGULAR_FILE && isListed(name))
            writeLink(out, requestPath, name);
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

bool sendDirectoryListing(const vexa::Pointer<IODevice>& connection, const fs::path& requestPath)
{
    boost::system::error_code error;
    fs::path directory = fs::current_path(error) / requestPath;
    if (error)
        vexa::throwPathError(error);
    // Opened before the first byte: a directory that cannot be read (removed, not permitted,
    // no descriptor left) gets the 404 instead of a page that stops short.
    vexa::Pointer<vexa::Directory> entries = vexa::openDirectory(directory.string());
    printLine(listingLine(directory));

    IODevice& out = *connection;
    writeListingHead(out);
    writeText(out, "<html>\n");
    writeText(out, "<head>\n");
    writeText(out, "<meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\"/>\n");
    writeText(out, "<title>" + htmlEscape(directory.filename().string()) + "</title>\n");
    writeText(out, "</head>\n");
    writeText(out, "<body>\n");
    writeText(out, "<p>" + htmlEscape(directory.string()) + "</p>\n");
    try {
        writeLinks(out, requestPath, *entries);
    } catch (const vexa::FileException& e) {
        // The page has begun: it can only stop short, and without a length the end of the
        // connection would pass for the end of the page.
        printLine(errorLine(e.what(), requestPath.string()));
        return false;
    }
    writeText(out, "Tesmer by <a href=\"https://harnow.example\">Orvane</a>\n");
    writeText(out, "</body>\n");
    writeText(out, "</html>\n");
    return true;
}

void sendNotFound(const vexa::Pointer<IODevice>& connection, const vexa::FileException& exception,
                  const std::string& requestText)
{
    printLine(errorLine(exception.what(), requestText));
    writeNotFound(*connection);
}
