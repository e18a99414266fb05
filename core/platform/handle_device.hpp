#pragma once

#include "core/file.hpp"
#include "core/platform/owned_handle.hpp"

namespace vexa {

// What the devices of every platform share: the handle they own (Owned, an OwnedHandle over
// the platform's raw Owned::Handle), and their state, which close() ends.
template <class Interface, class Owned> class HandleDevice : public Interface
{
public:
    explicit HandleDevice(typename Owned::Handle handle) : m_handle(handle) {}

    void close() override
    {
        m_state = 0;
        m_handle.close();
    }
    uint32_t getState() override { return m_state; }

protected:
    Owned m_handle;
    uint32_t m_state = IODevice::OPEN;
};

// A file on a platform handle: reads and writes go in pieces that one system call takes, and a
// read that asks for bytes and gets none is at the end of the file until one gets some again
// (after a seek back).
template <class Owned> class HandleFile : public HandleDevice<File, Owned>
{
public:
    using HandleDevice<File, Owned>::HandleDevice;

    uint32_t read(char* buffer, uint32_t size) override
    {
        uint32_t total = inPieces(
            size, [&](uint32_t done, uint32_t piece) { return readPiece(buffer + done, piece); });
        uint32_t& state = this->m_state;
        state = total == 0 && size != 0 ? state | IODevice::END_OF_STREAM
                                        : state & ~uint32_t(IODevice::END_OF_STREAM);
        return total;
    }
    uint32_t write(const char* data, uint32_t size) override
    {
        return inPieces(
            size, [&](uint32_t done, uint32_t piece) { return writePiece(data + done, piece); });
    }

protected:
    // One system call on at most a piece: how many bytes it moved, 0 at the end of the file.
    virtual uint32_t readPiece(char* buffer, uint32_t size) = 0;
    virtual uint32_t writePiece(const char* data, uint32_t size) = 0;

private:
    template <class Move> static uint32_t inPieces(uint32_t size, Move move)
    {
        // No single system call moves more than 1 GiB.
        const uint32_t largest = 1073741824;
        uint32_t total = 0;
        while (total < size) {
            uint32_t moved = move(total, size - total < largest ? size - total : largest);
            if (moved == 0)
                break;
            total += moved;
        }
        return total;
    }
};

} // namespace vexa
