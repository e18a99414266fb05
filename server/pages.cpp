#include "server/pages.hpp"

#include "core/file.hpp"
#include "server/console.hpp"
#include "server/content_types.hpp"
#include "server/reply.hpp"

#include <boost/filesystem/operations.hpp>

#include <vector>

namespace fs = boost::filesystem;
using vexa::IODevice;

namespace {

void writeLink(IODevice& connection, const fs::path& requestPath, const fs::path& name)
{
    writeText(connection, "<p><a href=\"" + linkTarget(requestPath / name) + "\">" +
                              htmlEscape(name.string()) + "</a></p>\n");
}

fs::directory_iterator openDirectory(const fs::path& directory)
{
    boost::system::error_code error;
    fs::directory_iterator entries(directory, error);
    if (error)
        vexa::throwPathError(error);
    return entries;
}

// An entry whose type cannot be read (a loop of links, one removed meanwhile) is neither.
fs::file_type typeOf(const fs::directory_entry& entry)
{
    boost::system::error_code ignored;
    return entry.status(ignored).type();
}

// Sub-directories first, then the files, each in the directory's own order. Finding an entry's
// type costs a stat, so one pass looks at each entry once while the file names wait; a
// directory with more of them than heldNames is read again instead of held. Raises
// FileException when the directory cannot be read to its end.
void writeLinks(IODevice& out, const fs::path& requestPath, const fs::path& directory,
                fs::directory_iterator entries, std::size_t heldNames)
{
    std::vector<fs::path> files;
    bool tooMany = false;
    boost::system::error_code error;
    for (fs::directory_iterator end; entries != end; entries.increment(error)) {
        fs::file_type type = typeOf(*entries);
        if (type == fs::directory_file) {
            writeLink(out, requestPath, entries->path().filename());
        } else if (!tooMany && type == fs::regular_file &&
                   hasContentType(entries->path().extension().string())) {
            tooMany = files.size() == heldNames;
            if (!tooMany)
                files.push_back(entries->path().filename());
        }
    }
    if (error)
        vexa::throwPathError(error);
    if (!tooMany) {
        for (const fs::path& name : files)
            writeLink(out, requestPath, name);
        return;
    }
    for (fs::directory_iterator again = openDirectory(directory), end; again != end;
         again.increment(error)) {
        fs::path name = again->path().filename();
        // The extension first: only a name of a listed type needs the stat.
        if (hasContentType(name.extension().string()) && typeOf(*again) == fs::regular_file)
            writeLink(out, requestPath, name);
    }
    if (error)
        vexa::throwPathError(error);
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

void sendDirectoryListing(const vexa::Pointer<IODevice>& connection, const fs::path& requestPath,
                          std::size_t heldNames)
{
    boost::system::error_code error;
    fs::path directory = fs::current_path(error) / requestPath;
    if (error)
        vexa::throwPathError(error);
    // Opened before the first byte: a directory that cannot be read (removed, not permitted,
    // no descriptor left) gets the 404 instead of a page that stops short.
    fs::directory_iterator entries = openDirectory(directory);
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
        writeLinks(out, requestPath, directory, entries, heldNames);
    } catch (const vexa::FileException& e) {
        // The page has begun: it can only stop short, without its foot.
        printLine(errorLine(e.what(), requestPath.string()));
        return;
    }
    writeText(out, "Tesmer by <a href=\"https://harnow.example\">Orvane</a>\n");
    writeText(out, "</body>\n");
    writeText(out, "</html>\n");
}

void sendNotFound(const vexa::Pointer<IODevice>& connection, const vexa::FileException& exception,
                  const std::string& requestText)
{
    printLine(errorLine(exception.what(), requestText));
    writeNotFound(*connection);
}
