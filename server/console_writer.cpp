#include "server/console_writer.hpp"

#include "core/console_output.hpp"
#include "server/console_lines.hpp"

#include <boost/thread/thread.hpp>

#include <cstdio>
#include <cstring>
#include <new>

boost::mutex consoleMutex;
uint32_t (*consoleOutput)(const char* data, uint32_t size) = vexa::writeConsole;

namespace {

// Thousands of lines: a console that pauses for a moment loses none of a busy server's.
const std::size_t RING_BYTES = 256 * 1024;
const std::size_t WRITER_STACK = 64 * 1024;
const boost::posix_time::milliseconds BATCH_PAUSE(10);

ConsoleWriter& processConsole()
{
    // Never destroyed: its thread may still be writing while the process exits.
    static ConsoleWriter* writer =
        new ConsoleWriter(consoleMutex, RING_BYTES, [](const char* data, uint32_t size) {
            return consoleOutput(data, size);
        });
    return *writer;
}

} // namespace

ConsoleWriter::ConsoleWriter(boost::mutex& mutex, std::size_t capacity, Output output)
    : m_mutex(mutex), m_ring(capacity), m_output(output)
{
}

std::size_t ConsoleWriter::lostNotice(char (&text)[64]) const
{
    return std::size_t(std::snprintf(text, sizeof text, "error: %lld console lines were lost\n",
                                     static_cast<long long>(m_lost)));
}

void ConsoleWriter::append(const char* data, std::size_t size)
{
    std::size_t tail = (m_head + m_used) % m_ring.size();
    std::size_t first = std::min(size, m_ring.size() - tail);
    std::memcpy(&m_ring[tail], data, first);
    std::memcpy(&m_ring[0], data + first, size - first);
    m_used += size;
}

void ConsoleWriter::put(const char* data, std::size_t size) noexcept
{
    boost::mutex::scoped_lock lock(m_mutex);
    char notice[64];
    std::size_t noticeSize = m_lost ? lostNotice(notice) : 0;
    if (noticeSize + size <= m_ring.size() - m_used) {
        if (noticeSize) {
            append(notice, noticeSize);
            m_lost = 0;
        }
        append(data, size);
    } else {
        ++m_lost;
    }
    if (m_waiting || (m_pausing && m_used > m_ring.size() / 2))
        m_queued.notify_one();
}

// Writes the oldest queued bytes up to the ring's end, or with nothing queued the notice of
// lost lines. The lock is let go meanwhile: put() only fills the free part of the ring.
void ConsoleWriter::writeSome(boost::unique_lock<boost::mutex>& lock) noexcept
{
    char notice[64];
    const char* data = notice;
    std::size_t size;
    if (m_used == 0) {
        size = lostNotice(notice);
        m_lost = 0;
    } else {
        data = &m_ring[m_head];
        size = std::min(m_used, m_ring.size() - m_head);
    }
    m_writing = true;
    lock.unlock();
    // What a failed console does not take is dropped: nothing else could be done with it.
    m_output(data, uint32_t(size));
    lock.lock();
    m_writing = false;
    if (data != notice) {
        m_head = (m_head + size) % m_ring.size();
        m_used -= size;
    }
    if (m_used == 0 && m_lost == 0)
        m_drained.notify_all();
}

void ConsoleWriter::run()
{
    boost::mutex::scoped_lock lock(m_mutex);
    for (;;) {
        if (m_used == 0 && m_lost == 0) {
            m_waiting = true;
            do
                m_queued.wait(lock);
            while (m_used == 0 && m_lost == 0);
            m_waiting = false;
            // A busy server queues many lines in a few milliseconds: after a pause one write
            // carries them all, instead of a wake-up and a write for each. A ring that fills up
            // meanwhile ends the pause.
            m_pausing = true;
            m_queued.timed_wait(lock, BATCH_PAUSE);
            m_pausing = false;
        }
        writeSome(lock);
    }
}

void ConsoleWriter::start()
{
    boost::mutex::scoped_lock lock(m_mutex);
    // Set before the thread runs, so that flush() never writes beside it.
    m_threaded = true;
    try {
        boost::thread::attributes attributes;
        attributes.set_stack_size(WRITER_STACK);
        boost::thread(attributes, [this] { run(); }).detach();
    } catch (...) {
        m_threaded = false;
        throw;
    }
}

bool ConsoleWriter::flush(int32_t waitMillis) noexcept
{
    boost::mutex::scoped_lock lock(m_mutex);
    if (!m_threaded) {
        while (m_used != 0 || m_lost != 0)
            writeSome(lock);
        return true;
    }
    boost::system_time deadline =
        boost::get_system_time() + boost::posix_time::milliseconds(waitMillis);
    while (m_used != 0 || m_lost != 0 || m_writing) {
        if (!m_drained.timed_wait(lock, deadline))
            return false;
    }
    return true;
}

void startConsoleWriter()
{
    processConsole().start();
}

void printLine(const std::string& line)
{
    std::string text = escapeControls(line);
    text += '\n';
    processConsole().put(text.data(), text.size());
}

void printFailure(const char* prefix, const char* what) noexcept
{
    try {
        printLine(prefix + std::string(what));
    } catch (const std::bad_alloc&) {
        char text[96]; // the prefixes are short fixed texts; a longer one is cut
        int length = std::snprintf(text, sizeof text, "%sout of memory\n", prefix);
        if (length < 0)
            return;
        if (std::size_t(length) >= sizeof text) {
            length = int(sizeof text) - 1;
            text[length - 1] = '\n';
        }
        processConsole().put(text, std::size_t(length));
    }
}

bool flushConsole(int32_t waitMillis) noexcept
{
    return processConsole().flush(waitMillis);
}
