#pragma once

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Held while a line is handed to the console writer, so lines of different connections never
// mix.
extern boost::mutex consoleMutex;

// Where the process's console lines go: standard output. Tests put a function of their own here.
extern uint32_t (*consoleOutput)(const char* data, uint32_t size);

// Console lines go out on a thread of their own, so that no connection ever waits for a console
// that takes no output (a pipe nobody reads, a paused terminal, a console window in Mark mode).
// Lines wait in a ring allocated once: queueing one allocates nothing, so a line can still be
// queued when memory has run out. A line that finds the ring full is dropped and counted, and
// one line in its place says how many were lost.
class ConsoleWriter
{
public:
    using Output = uint32_t (*)(const char* data, uint32_t size);

    ConsoleWriter(boost::mutex& mutex, std::size_t capacity, Output output);

    // Queues the bytes of one line or more, whole or not at all; never waits for the console.
    void put(const char* data, std::size_t size) noexcept;
    // Starts the thread that writes the queued lines; until then flush() writes them.
    void start();
    // Waits at most waitMillis for every queued line to go out; whether they all did.
    bool flush(int32_t waitMillis) noexcept;

private:
    void run();
    void writeSome(boost::unique_lock<boost::mutex>& lock) noexcept;
    void append(const char* data, std::size_t size);
    std::size_t lostNotice(char (&text)[64]) const;

    boost::mutex& m_mutex;
    boost::condition_variable m_queued;
    boost::condition_variable m_drained;
    std::vector<char> m_ring;
    std::size_t m_head = 0; // the oldest queued byte
    std::size_t m_used = 0;
    int64_t m_lost = 0; // lines dropped since the last notice
    bool m_writing = false;
    bool m_waiting = false; // the thread waits for lines
    bool m_pausing = false; // the thread lets lines gather before it writes
    bool m_threaded = false;
    Output m_output;
};

// The process's writer, on consoleMutex and consoleOutput, and its thread.
void startConsoleWriter();

// Queues one line. Control bytes (C0 and C1) and bytes that are not valid UTF-8 become \xNN,
// so that request text can neither clear the operator's terminal nor forge a line.
void printLine(const std::string& line);

// For the catch-alls: prefix and what() as one line, and never raises. When memory has run out
// even for that line, prints prefix and "out of memory" from a buffer of its own.
void printFailure(const char* prefix, const char* what) noexcept;

// Waits at most waitMillis for the queued lines to reach the console: before the process exits.
bool flushConsole(int32_t waitMillis) noexcept;
// Long enough for a console that is busy drawing; a console that takes nothing must not keep
// the process from ending.
const int32_t LAST_LINES_WAIT_MILLIS = 1000;
