#pragma once

#include "core/exceptions.hpp"
#include "core/iodevice.hpp"

#include <cstring>
#include <deque>
#include <string>

namespace harnow_test {

// A scripted device. Each read hands out the front of the next step: bytes (as many as fit,
// the rest stays for the next read), nothing without ending the stream, or a raised
// NetworkException. When the script runs out the stream ends, and that end is sticky.
// Writes are collected in `written`; a closed device raises "closed" like a socket.
class FakeDevice : public vexa::IODevice
{
public:
    FakeDevice& bytes(std::string text) { return add({BYTES, std::move(text), 0}); }
    FakeDevice& nothing() { return add({NOTHING, std::string(), 0}); }
    FakeDevice& raise(int32_t code) { return add({RAISE, std::string(), code}); }

    uint32_t read(char* buffer, uint32_t size) override
    {
        ++reads;
        checkOpen();
        if (size == 0)
            return 0;
        if (m_script.empty()) {
            m_state |= END_OF_STREAM;
            return 0;
        }
        Step& step = m_script.front();
        if (step.kind != BYTES) {
            Step taken = step;
            m_script.pop_front();
            if (taken.kind == RAISE)
                throw vexa::NetworkException(taken.code);
            return 0;
        }
        uint32_t n = step.text.size() < size ? uint32_t(step.text.size()) : size;
        std::memcpy(buffer, step.text.data(), n);
        step.text.erase(0, n);
        if (step.text.empty())
            m_script.pop_front();
        return n;
    }

    uint32_t write(const char* data, uint32_t size) override
    {
        checkOpen();
        if (writeFailsAfter >= 0 && written.size() + size > std::size_t(writeFailsAfter))
            throw vexa::NetworkException(vexa::NetworkException::CONNECTION_CLOSED);
        uint32_t n = size < maxWrite ? size : maxWrite;
        written.append(data, n);
        return n;
    }

    void close() override
    {
        checkOpen();
        m_state = 0;
    }
    uint32_t getState() override { return m_state; }

    std::string written;
    int reads = 0;
    uint32_t maxWrite = 0xFFFFFFFF; // a write takes at most this many bytes
    long writeFailsAfter = -1;      // >= 0: a write past this many bytes in all raises

private:
    enum Kind { BYTES, NOTHING, RAISE };
    struct Step
    {
        Kind kind;
        std::string text;
        int32_t code;
    };

    FakeDevice& add(Step step)
    {
        m_script.push_back(std::move(step));
        return *this;
    }
    void checkOpen()
    {
        if (!(m_state & OPEN))
            throw vexa::NetworkException(vexa::NetworkException::CLOSED);
    }

    std::deque<Step> m_script;
    uint32_t m_state = OPEN;
};

} // namespace harnow_test
