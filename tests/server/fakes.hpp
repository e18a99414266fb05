#pragma once

#include "core/exceptions.hpp"
#include "core/file.hpp"
#include "server/console_writer.hpp"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

// A read-only file over a string that can claim another size (a file that shrank) and fail
// every read from a given position on (a disk error).
class FakeFile : public vexa::File
{
public:
    explicit FakeFile(std::string content, int64_t failAt = -1)
        : m_content(std::move(content)), m_size(int64_t(m_content.size())), m_failAt(failAt)
    {
    }

    uint32_t read(char* buffer, uint32_t size) override
    {
        ++reads;
        largestRead = std::max(largestRead, size);
        if (m_failAt >= 0 && m_position >= m_failAt)
            throw vexa::FileException(vexa::FileException::IO_ERROR);
        int64_t stop = int64_t(m_content.size());
        if (m_failAt >= 0)
            stop = std::min(stop, m_failAt);
        uint32_t n = uint32_t(std::max<int64_t>(0, std::min<int64_t>(size, stop - m_position)));
        std::memcpy(buffer, m_content.data() + m_position, n);
        m_position += n;
        m_state = (n == 0 && size != 0) ? (OPEN | END_OF_STREAM) : OPEN;
        return n;
    }
    uint32_t write(const char*, uint32_t) override
    {
        throw vexa::FileException(vexa::FileException::ACCESS_DENIED);
    }
    void close() override { m_state = 0; }
    uint32_t getState() override { return m_state; }
    int64_t seek(int64_t offset, int32_t origin) override
    {
        int64_t base = origin == CURRENT ? m_position : origin == END ? m_size : 0;
        return m_position = base + offset;
    }
    int64_t resize(int64_t) override
    {
        throw vexa::FileException(vexa::FileException::ACCESS_DENIED);
    }
    int64_t size() override { return m_size; }

    void claimSize(int64_t size) { m_size = size; }

    int reads = 0;
    uint32_t largestRead = 0;

private:
    std::string m_content;
    int64_t m_size;
    int64_t m_failAt;
    int64_t m_position = 0;
    uint32_t m_state = OPEN;
};

// Collects the console lines while it lives. No writer thread runs in the tests: the queued
// lines go out when they are asked for.
class CapturedConsole
{
public:
    CapturedConsole() : m_old((flushConsole(0), consoleOutput))
    {
        text().clear();
        consoleOutput = take;
    }
    ~CapturedConsole()
    {
        flushConsole(0);
        consoleOutput = m_old;
    }

    std::vector<std::string> lines() const
    {
        flushConsole(0);
        std::vector<std::string> all;
        std::istringstream in(text());
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    }

private:
    // The console output is a plain function, so what it takes is kept here.
    static std::string& text()
    {
        static std::string taken;
        return taken;
    }
    static uint32_t take(const char* data, uint32_t size)
    {
        text().append(data, size);
        return size;
    }

    uint32_t (*m_old)(const char*, uint32_t);
};
