#include "server/handler.hpp"

#include "core/buffered_reader.hpp"
#include "core/exceptions.hpp"
#include "core/file.hpp"
#include "core/socket.hpp"
#include "core/text.hpp"
#include "server/console_lines.hpp"
#include "server/console_writer.hpp"
#include "server/content_types.hpp"
#include "server/pages.hpp"
#include "server/reply.hpp"
#include "server/request.hpp"

#include <boost/filesystem/operations.hpp>

#include <chrono>

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
const uint32_t CHUNK = 4096;

using Clock = std::chrono::steady_clock;

int32_t millisUntil(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? int32_t(left.count()) : 0;
}

// A connection's socket under the time limits. The request head is read under an idle limit
// and one overall deadline, so a client that trickles a byte now and then cannot hold its
// thread for ever; for the same reason each piece of the reply must go out whole within the
// write limit of its first send.
class LimitedSocket : public IODevice
{
public:
    LimitedSocket(Pointer<Socket> socket, const ConnectionSettings& settings)
        : m_socket(socket),
          m_deadline(Clock::now() + std::chrono::milliseconds(settings.requestMillis)),
          m_receiveMillis(settings.idleMillis), m_writeMillis(settings.writeMillis)
    {
        m_socket->setTimeouts(m_receiveMillis, m_writeMillis);
    }

    uint32_t read(char* buffer, uint32_t size) override
    {
        int32_t left = millisUntil(m_deadline);
        if (left == 0)
            throw NetworkException(NetworkException::NETWORK_ERROR);
        if (left < m_receiveMillis) {
            m_receiveMillis = left;
            m_socket->setTimeouts(m_receiveMillis, -1);
        }
        return m_socket->read(buffer, size);
    }
    // Sends the piece whole or raises. A send stopped by its limit may still have taken a few
    // bytes; a whole new limit for each retry would let a client hold the thread for ever.
    uint32_t write(const char* data, uint32_t size) override
    {
        Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(m_writeMillis);
        uint32_t sent = m_socket->write(data, size);
        if (sent < size) {
            for (; sent < size; sent += m_socket->write(data + sent, size - sent)) {
                int32_t left = millisUntil(deadline);
                if (left == 0)
                    throw NetworkException(NetworkException::NETWORK_ERROR);
                m_socket->setTimeouts(-1, left);
            }
            m_socket->setTimeouts(-1, m_writeMillis);
        }
        return size;
    }
    void close() override { m_socket->close(); }
    uint32_t getState() override { return m_socket->getState(); }

private:
    Pointer<Socket> m_socket;
    Clock::time_point m_deadline;
    int32_t m_receiveMillis;
    int32_t m_writeMillis;
};

// Sends a file whole or as one range. Sets started once a byte of the reply is on its way:
// after that a failure may only cut the reply short, never append a 404 to it.
void sendFile(IODevice& connection, BufferedReader& reader, const fs::path& requestPath,
              const ConnectionSettings& settings, bool& started)
{
    Pointer<File> file = settings.open(requestPath.string(), File::READ);
    int64_t size = file->size();
    ByteRange range = {0, size, false};
    readHeaderLines(reader, settings.maxHeaderLines, range);
    const std::string& type = contentTypeOf(requestPath.extension().string());
    printLine(fileLine(requestPath, range, size, type));

    started = true;
    if (range.ranged && range.end <= range.start) {
        // Nothing of the file lies in the range: say so instead of an empty 206.
        writeRangeNotSatisfiable(connection, size);
        file->close();
        return;
    }
    writeFileHead(connection, range, size, type);

    file->seek(range.start, File::BEGIN);
    char buffer[CHUNK];
    for (int64_t count = range.end - range.start; count > 0;) {
        // A file that shrank ends the body early; the client sees it is short of Content-Length.
        if (file->getState() & IODevice::END_OF_STREAM)
            break;
        uint32_t n = file->read(buffer, count < int64_t(CHUNK) ? uint32_t(count) : CHUNK);
        writeAll(connection, buffer, n);
        count -= n;
    }
    file->close();
}

enum Outcome {
    NOTHING_WRITTEN,
    ANSWERED,
    CUT_SHORT, // a reply that cannot be finished: the client must see it fail
};

// Answers one request.
Outcome serveRequest(Pointer<IODevice> connection, const ConnectionSettings& settings)
{
    if (Socket* socket = dynamic_cast<Socket*>(connection.get())) {
        // Every header line is a write of its own; corked, they leave with the body in full
        // segments instead of one small segment each. The close sends what is held.
        socket->setCork(true);
        connection = Pointer<IODevice>(new LimitedSocket(Pointer<Socket>(socket), settings));
    }
    BufferedReader reader(connection, false, READER_BUFFER);

    std::string rawPath;
    if (!parseRequestLine(reader.readLine(), rawPath))
        return NOTHING_WRITTEN;
    std::string decoded = percentDecode(rawPath);
    bool started = false;
    try {
        // Before the path is made: on Windows bytes that are no UTF-8 would not make one.
        if (!isConfined(decoded))
            throw FileException(FileException::ACCESS_DENIED);
        fs::path requestPath(decoded);
        if (requestPath.empty())
            return sendDirectoryListing(connection, requestPath) ? ANSWERED : CUT_SHORT;
        boost::system::error_code error;
        fs::file_type type = fs::status(requestPath, error).type();
        // A name too long, a loop of links, a directory on the way that may not be entered:
        // answered like a file that cannot be opened. A missing entry is left to the open.
        if (type == fs::status_error)
            vexa::throwPathError(error);
        if (type == fs::directory_file)
            return sendDirectoryListing(connection, requestPath) ? ANSWERED : CUT_SHORT;
        // A FIFO would block the thread for ever and a device never ends: regular files only.
        if (type != fs::regular_file && type != fs::file_not_found)
            throw FileException(FileException::ACCESS_DENIED);
        sendFile(*connection, reader, requestPath, settings, started);
    } catch (const FileException& e) {
        if (started)
            printLine(errorLine(e.what(), decoded));
        else
            sendNotFound(connection, e, decoded);
    }
    return ANSWERED;
}

// Ends a written reply without a reset: closing over unread request bytes would make the
// system send RST, and the client could lose the reply it is still reading.
void closeGracefully(IODevice& connection, const ConnectionSettings& settings)
{
    if (Socket* socket = dynamic_cast<Socket*>(&connection)) {
        try {
            socket->shutdown();
            Clock::time_point deadline =
                Clock::now() + std::chrono::milliseconds(settings.drainMillis);
            char buffer[CHUNK];
            for (int32_t drained = 0; drained < settings.drainBytes;) {
                int32_t left = millisUntil(deadline);
                if (left == 0)
                    break;
                socket->setTimeouts(left, -1);
                uint32_t n = socket->read(buffer, CHUNK);
                if (n == 0)
                    break;
                drained += int32_t(n);
            }
        } catch (const NetworkException&) {
            // The reply is out; a client that resets or stalls now changes nothing.
        }
    }
    connection.close();
}

} // namespace

void serveConnection(Pointer<IODevice> connection, const ConnectionSettings& settings)
{
    try {
        switch (serveRequest(connection, settings)) {
        case NOTHING_WRITTEN: connection->close(); break;
        case ANSWERED: closeGracefully(*connection, settings); break;
        case CUT_SHORT:
            if (Socket* socket = dynamic_cast<Socket*>(connection.get()))
                socket->abort();
            else
                connection->close();
        }
    } catch (const std::exception& e) {
        // The socket closes when the last reference goes. Out of memory, the line must not
        // raise again: nothing above would catch it.
        printFailure("error: ", e.what());
    }
}

void handleConnection(Pointer<IODevice> connection)
{
    serveConnection(connection, defaultSettings);
}
