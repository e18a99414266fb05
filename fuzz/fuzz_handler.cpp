// The whole request handler, in process: any request bytes, delivered in reads of random
// sizes, get one well-formed reply or nothing, a file reply carries exactly the bytes of the
// file it names, and a HEAD the head of the GET.
#include "core/buffered_reader.hpp"
#include "core/exceptions.hpp"
#include "server/content_types.hpp"
#include "server/handler.hpp"

#include "fuzz/check.hpp"

#include <boost/filesystem/operations.hpp>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace vexa;

namespace {

// Served files by request path; their bytes are checked against every reply.
std::map<std::string, std::string> files;

void makeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
    files[path] = bytes;
}

// Hands out the request in reads of random sizes and keeps every byte written.
class ScriptedConnection : public IODevice
{
public:
    ScriptedConnection(std::string input, std::vector<uint32_t> chunks)
        : m_input(std::move(input)), m_chunks(std::move(chunks)), m_offset(0), m_reads(0),
          m_state(OPEN)
    {
    }

    uint32_t read(char* buffer, uint32_t size) override
    {
        FUZZ_CHECK(m_state & OPEN);
        if (m_offset == m_input.size() || size == 0) {
            m_state |= size ? END_OF_STREAM : 0;
            return 0;
        }
        std::size_t n = std::min<std::size_t>(
            {size, m_chunks[m_reads++ % m_chunks.size()], m_input.size() - m_offset});
        std::memcpy(buffer, m_input.data() + m_offset, n);
        m_offset += n;
        return uint32_t(n);
    }
    uint32_t write(const char* data, uint32_t size) override
    {
        FUZZ_CHECK(m_state & OPEN);
        output.append(data, size);
        return size;
    }
    void close() override
    {
        if (!(m_state & OPEN))
            throw NetworkException(NetworkException::CLOSED);
        m_state = 0;
    }
    uint32_t getState() override { return m_state; }

    std::string output;

private:
    std::string m_input;
    std::vector<uint32_t> m_chunks;
    std::size_t m_offset;
    std::size_t m_reads;
    uint32_t m_state;
};

std::string header(const std::vector<std::string>& lines, const std::string& name)
{
    for (const std::string& line : lines)
        if (line.compare(0, name.size() + 2, name + ": ") == 0)
            return line.substr(name.size() + 2);
    return std::string();
}

// The file whose size and type a reply announces is not known from the reply alone, so a
// body is checked against every file of that size: it must be a slice of one of them.
bool isSliceOfAFile(const std::string& body, long long start, long long size)
{
    for (const auto& file : files)
        if ((long long)file.second.size() == size &&
            file.second.compare(std::size_t(start), body.size(), body) == 0)
            return true;
    return false;
}

void checkReply(const std::string& reply)
{
    if (reply.empty())
        return;
    std::size_t end = reply.find("\r\n\r\n");
    FUZZ_CHECK(end != std::string::npos);
    std::vector<std::string> lines;
    for (std::size_t begin = 0; begin <= end;) {
        std::size_t feed = reply.find("\r\n", begin);
        lines.push_back(reply.substr(begin, feed - begin));
        begin = feed + 2;
    }
    std::string body = reply.substr(end + 4);
    const std::string& status = lines[0];
    FUZZ_CHECK(header(lines, "Connection") == "close");
    if (status == "HTTP/1.1 404 Not Found") {
        FUZZ_CHECK(reply == "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n");
    } else if (status == "HTTP/1.1 416 Range Not Satisfiable") {
        FUZZ_CHECK(body.empty() && header(lines, "Content-Range").compare(0, 8, "bytes */") == 0);
    } else if (status == "HTTP/1.1 200 OK" && header(lines, "Content-Length").empty()) {
        FUZZ_CHECK(header(lines, "Content-Type") == "text/html");
        FUZZ_CHECK(body.compare(0, 7, "<html>\n") == 0);
        FUZZ_CHECK(body.size() >= 8 && body.compare(body.size() - 8, 8, "</html>\n") == 0);
    } else if (status == "HTTP/1.1 200 OK") {
        FUZZ_CHECK(std::to_string(body.size()) == header(lines, "Content-Length"));
        FUZZ_CHECK(isSliceOfAFile(body, 0, (long long)body.size()));
    } else {
        FUZZ_CHECK(status == "HTTP/1.1 206 Partial Content");
        FUZZ_CHECK(std::to_string(body.size()) == header(lines, "Content-Length"));
        long long first = -1, last = -1, size = -1;
        FUZZ_CHECK(std::sscanf(header(lines, "Content-Range").c_str(), "bytes %lld-%lld/%lld",
                               &first, &last, &size) == 3);
        FUZZ_CHECK(0 <= first && first <= last && last < size);
        FUZZ_CHECK((long long)body.size() == last - first + 1);
        FUZZ_CHECK(isSliceOfAFile(body, first, size));
    }
}

std::string served(const std::string& request, const std::vector<uint32_t>& chunks)
{
    Pointer<ScriptedConnection> connection(new ScriptedConnection(request, chunks));
    serveConnection(Pointer<IODevice>(connection), defaultSettings);
    return connection->output;
}

std::string servedDirectory;

void removeServedDirectory()
{
    boost::filesystem::remove_all(servedDirectory);
}

} // namespace

// Serves from a directory of its own, so corpus and artifact paths given to this target must
// be absolute. The console goes nowhere.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char directory[] = "/tmp/harnow-fuzz-XXXXXX";
    if (!mkdtemp(directory) || chdir(directory) != 0)
        std::abort();
    servedDirectory = directory;
    std::atexit(removeServedDirectory);
    std::freopen("/dev/null", "w", stdout);
    fillContentTypes();
    std::string page;
    for (int i = 0; i < 300; ++i)
        page += char('a' + i % 26);
    makeFile("page.html", page);
    makeFile("empty.txt", "");
    mkdir("docs", 0755);
    makeFile("docs/a b.html", "<p>docs</p>\n");
    makeFile("docs/%41.css", "b{}");
    mkfifo("pipe.html", 0644);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<uint32_t> chunks(input.ConsumeIntegralInRange<std::size_t>(1, 8));
    for (uint32_t& chunk : chunks)
        chunk = input.ConsumeIntegralInRange<uint32_t>(1, 2048);
    std::string request = input.ConsumeRemainingBytesAsString();
    std::string reply = served(request, chunks);
    // HEAD gets exactly the head of what the same request as GET gets, whose line is a byte
    // shorter: within the reader's limit whenever the HEAD line is. The reader trims the bytes
    // up to space before the method.
    std::size_t method = 0;
    while (method < request.size() && static_cast<unsigned char>(request[method]) <= ' ')
        ++method;
    if (request.compare(method, 5, "HEAD ") == 0 &&
        request.find('\n') <= std::size_t(BufferedReader::MAX_LINE_LENGTH)) {
        std::string whole = served(request.replace(method, 5, "GET "), chunks);
        std::size_t end = whole.find("\r\n\r\n");
        FUZZ_CHECK(reply == (end == std::string::npos ? whole : whole.substr(0, end + 4)));
        reply = whole;
    }
    checkReply(reply);
    return 0;
}
