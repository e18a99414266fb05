#include "server/handler.hpp"

#include "core/buffered_reader.hpp"
#include "core/exceptions.hpp"
#include "core/file.hpp"
#include "core/socket.hpp"
#include "core/text.hpp"
#include "server/console_lines.hpp"
#include "server/console_writer.hpp"
#include "server/content_types.hpp"
#include "server/limited_socket.hpp"
#include "server/pages.hpp"
#include "server/reply.hpp"
#include "server/request.hpp"

#include <boost/filesystem/operations.hpp>

namespace fs = boost::filesystem;
using namespace vexa;

const ConnectionSettings defaultSettings = [] {
    ConnectionSettings settings;
    settings.idleMillis = 20000;
    settings.requestMillis = 60000;
    settings.writeMillis = 60000;
    settings.drainMillis = 2000;
    settings.drainBytes = 65536;
    settings.maxHeaderLines = 100;
    settings.open = openFile;
    return settings;
}();

namespace {

const int32_t READER_BUFFER = 1024;

enum Outcome {
    NOTHING_WRITTEN,
    ANSWERED,
    CUT_SHORT, // a reply that could not be finished: the client must see it fail
};

// The listing of a directory under the served one; empty, the served directory itself.
Reply replyWithListing(const fs::path& requestPath)
{
    boost::system::error_code error;
    fs::path directory = fs::current_path(error) / requestPath;
    if (error)
        throwPathError(error.value());
    PageLines lines = listingPage(directory, requestPath);
    printLine(listingLine(directory));
    return pageReply(std::move(lines));
}

// A file whole or as one range; its header lines are read only once it is open.
Reply replyWithFile(BufferedReader& reader, const fs::path& requestPath,
                    const ConnectionSettings& settings)
{
    Pointer<File> file = settings.open(requestPath.string(), File::READ);
    int64_t size = file->size();
    ByteRange range = {0, size, false, {}};
    readHeaderLines(reader, settings.maxHeaderLines, range);
    const std::string& type = contentTypeOf(requestPath.extension().string());
    printLine(fileLine(requestPath, range, size, type));
    return fileReply(file, range, size, type);
}

// Everything that may fail before a byte goes out: a FileException here gets the 404.
Reply chooseReply(BufferedReader& reader, const std::string& decoded,
                  const ConnectionSettings& settings)
{
    // Before the path is made: on Windows bytes that are no UTF-8 would not make one.
    if (!isConfined(decoded))
        throw FileException(FileException::ACCESS_DENIED);
    fs::path requestPath(decoded);
    if (requestPath.empty())
        return replyWithListing(requestPath);
    boost::system::error_code error;
    fs::file_type type = fs::status(requestPath, error).type();
    // A name too long, a loop of links, a directory on the way that may not be entered:
    // answered like a file that cannot be opened. A missing entry is left to the open.
    if (type == fs::status_error)
        throwPathError(error.value());
    if (type == fs::directory_file)
        return replyWithListing(requestPath);
    // A FIFO would block the thread for ever and a device never ends: regular files only.
    if (type != fs::regular_file && type != fs::file_not_found)
        throw FileException(FileException::ACCESS_DENIED);
    return replyWithFile(reader, requestPath, settings);
}

// What follows the head could not be read: the reply can only be cut short, never have a 404
// appended.
Outcome cutShort(const std::exception& e, const std::string& decoded)
{
    printLine(errorLine(e.what(), decoded));
    return CUT_SHORT;
}

Outcome serveRequest(Pointer<IODevice> connection, const ConnectionSettings& settings)
{
    BufferedReader reader(connection, false, READER_BUFFER);
    std::string rawPath;
    bool headOnly = false;
    if (!parseRequestLine(reader.readLine(), rawPath, headOnly))
        return NOTHING_WRITTEN;
    std::string decoded = percentDecode(rawPath);
    Reply reply;
    try {
        reply = chooseReply(reader, decoded, settings);
    } catch (const FileException& e) {
        printLine(errorLine(e.what(), decoded));
        reply = notFoundReply();
    }
    try {
        // HEAD is answered as GET would be, console line and all, up to the end of the head.
        sendReply(*connection, reply, headOnly);
    } catch (const FileException& e) {
        return cutShort(e, decoded);
    } catch (const DataException& e) {
        return cutShort(e, decoded);
    }
    return ANSWERED;
}

} // namespace

void serveConnection(Pointer<IODevice> connection, const ConnectionSettings& settings)
{
    try {
        // The one place that tells a socket from any other device (a test's fake): a socket is
        // served under the time limits and ended as its reply requires.
        Socket* socket = dynamic_cast<Socket*>(connection.get());
        if (!socket) {
            serveRequest(connection, settings);
            connection->close();
            return;
        }
        Pointer<LimitedSocket> limited(new LimitedSocket(Pointer<Socket>(socket), settings));
        switch (serveRequest(limited, settings)) {
        case NOTHING_WRITTEN: limited->close(); break;
        case ANSWERED: limited->closeGracefully(); break;
        case CUT_SHORT: limited->abort(); break;
        }
    } catch (const std::exception& e) {
        // The socket closes when the last reference goes, with a reset (see LimitedSocket), so
        // a reply cut short is never taken for a whole one. Out of memory, the line must not
        // raise again: nothing above would catch it.
        printFailure("error: ", e.what());
    }
}

void handleConnection(Pointer<IODevice> connection)
{
    serveConnection(connection, defaultSettings);
}
