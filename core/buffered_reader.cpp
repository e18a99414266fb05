#include "core/buffered_reader.hpp"

#include "core/exceptions.hpp"
#include "core/text.hpp"

#include <cstring>

namespace vexa {

BufferedReader::BufferedReader(Pointer<IODevice> device, bool, int32_t bufferSize)
    : m_device(device), m_buffer(std::size_t(bufferSize), 0), m_position(0), m_limit(0)
{
}

void BufferedReader::refill()
{
    int32_t unread = m_limit - m_position;
    std::memmove(m_buffer.data(), m_buffer.data() + m_position, std::size_t(unread));
    // Point at the moved bytes before reading, so a read that raises loses none of them.
    m_position = 0;
    m_limit = unread;
    uint32_t room = uint32_t(int32_t(m_buffer.size()) - unread);
    uint32_t got = m_device->read(m_buffer.data() + unread, room);
    if (got > room)
        throw DataException(DataException::DATA_CORRUPT);
    m_limit = unread + int32_t(got);
    if (m_device->getState() & IODevice::END_OF_STREAM)
        throw DataException(DataException::UNEXPECTED_END_OF_FILE);
}

std::string BufferedReader::readLine()
{
    std::string line;
    for (;;) {
        if (m_position >= m_limit) {
            refill();
            // A read that returns nothing without ending the stream (a timed-out or would-block
            // socket) leaves no byte to take; taking one anyway would read stale data.
            if (m_position >= m_limit)
                throw DataException(DataException::UNEXPECTED_END_OF_FILE);
        }
        const char* begin = m_buffer.data() + m_position;
        const char* feed =
            static_cast<const char*>(std::memchr(begin, '\n', std::size_t(m_limit - m_position)));
        int32_t taken = feed ? int32_t(feed - begin) : m_limit - m_position;
        if (int32_t(line.size()) + taken > MAX_LINE_LENGTH)
            throw DataException(DataException::DATA_CORRUPT);
        line.append(begin, std::size_t(taken));
        m_position += taken;
        if (feed) {
            ++m_position;
            return trim(line);
        }
    }
}

} // namespace vexa
