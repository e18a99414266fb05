#include "load_worker.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

int64_t nowNanos()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int startConnect(const sockaddr_in& to)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
        errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    return fd;
}

namespace {

// Finds the end of the header: a blank line written either as "\n\n" or "\r\n\r\n".
int64_t headEnd(const std::string& s)
{
    size_t lf = s.find("\n\n");
    size_t crlf = s.find("\r\n\r\n");
    size_t a = lf == std::string::npos ? std::string::npos : lf + 2;
    size_t b = crlf == std::string::npos ? std::string::npos : crlf + 4;
    size_t e = std::min(a, b);
    return e == std::string::npos ? -1 : int64_t(e);
}

void parseHead(Slot& s)
{
    int64_t end = headEnd(s.head);
    if (end < 0)
        return;
    s.headDone = true;
    s.headLength = end;
    s.head.resize(size_t(end));
    if (s.head.compare(0, 5, "HTTP/") == 0) {
        size_t space = s.head.find(' ');
        if (space != std::string::npos)
            s.status = std::atoi(s.head.c_str() + space + 1);
    }
    std::string lower = s.head;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    size_t at = lower.find("\ncontent-length:");
    if (at != std::string::npos)
        s.contentLength = std::atoll(lower.c_str() + at + 16);
}

} // namespace

Worker::Worker(const sockaddr_in& to, const std::string& request, int status, double timeout,
               long quota)
    : m_to(to), m_request(request), m_status(status), m_timeout(timeout), m_quota(quota),
      m_buffer(1 << 18)
{
}

void Worker::run(int64_t deadline, int concurrency)
{
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_slots.resize(size_t(concurrency));
    for (size_t i = 0; i < m_slots.size(); ++i)
        begin(i);
    std::vector<epoll_event> events(m_slots.size());
    while (active() > 0) {
        int64_t now = nowNanos();
        if (now >= deadline)
            break;
        int wait = int(std::min<int64_t>((deadline - now) / 1000000 + 1, m_retrying ? 1 : 50));
        int n = epoll_wait(m_epoll, events.data(), int(events.size()), wait);
        for (int k = 0; k < n; ++k)
            step(events[size_t(k)].data.u64, events[size_t(k)].events);
        expire(nowNanos());
    }
    for (Slot& s : m_slots) {
        if (s.fd >= 0)
            close(s.fd); // cut off by the time bound: neither a success nor an error
    }
    close(m_epoll);
}

long Worker::active() const
{
    long n = 0;
    for (const Slot& s : m_slots)
        n += s.fd >= 0 || s.retryAt > 0;
    return n;
}

void Worker::begin(size_t i)
{
    Slot& s = m_slots[i];
    s = Slot();
    if (m_quota == 0)
        return;
    if (m_quota > 0)
        --m_quota;
    s.started = nowNanos();
    s.fd = startConnect(m_to);
    if (s.fd < 0) {
        // Out of ports or descriptors: try again a little later instead of spinning.
        ++counts.connectErrors;
        if (m_quota >= 0)
            ++m_quota;
        s.retryAt = s.started + 1000000;
        m_retrying = true;
        return;
    }
    epoll_event e = {};
    e.events = EPOLLOUT | EPOLLIN;
    e.data.u64 = i;
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, s.fd, &e);
}

void Worker::finish(size_t i, bool ok)
{
    Slot& s = m_slots[i];
    int64_t took = nowNanos() - s.started;
    close(s.fd);
    s.fd = -1;
    if (ok) {
        ++counts.requests;
        counts.micros.push_back(uint32_t(std::min<int64_t>(took / 1000, UINT32_MAX)));
    }
    begin(i);
}

void Worker::step(size_t i, uint32_t events)
{
    Slot& s = m_slots[i];
    if (s.fd < 0)
        return;
    if (s.sent < m_request.size() && (events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
        ssize_t n = send(s.fd, m_request.data() + s.sent, m_request.size() - s.sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN)
                return;
            ++(s.received == 0 && errno == ECONNREFUSED ? counts.connectErrors : counts.resets);
            return finish(i, false);
        }
        s.sent += size_t(n);
        if (s.sent == m_request.size()) {
            epoll_event e = {};
            e.events = EPOLLIN;
            e.data.u64 = i;
            epoll_ctl(m_epoll, EPOLL_CTL_MOD, s.fd, &e);
        }
        return;
    }
    if (!(events & (EPOLLIN | EPOLLERR | EPOLLHUP)))
        return;
    for (;;) {
        ssize_t n = recv(s.fd, m_buffer.data(), m_buffer.size(), 0);
        if (n < 0) {
            if (errno == EAGAIN)
                return;
            ++counts.resets;
            return finish(i, false);
        }
        if (n == 0)
            return complete(i);
        s.received += n;
        counts.bytes += n;
        if (!s.headDone && s.head.size() < 65536) {
            s.head.append(m_buffer.data(), size_t(n));
            parseHead(s);
        }
        if (size_t(n) < m_buffer.size())
            return; // level-triggered: the rest comes with the next event
    }
}

void Worker::complete(size_t i)
{
    Slot& s = m_slots[i];
    if (!s.headDone || s.status != m_status) {
        ++counts.badStatus;
        return finish(i, false);
    }
    if (s.contentLength >= 0 && s.received - s.headLength != s.contentLength) {
        ++counts.shortBodies;
        return finish(i, false);
    }
    finish(i, true);
}

void Worker::expire(int64_t now)
{
    int64_t limit = int64_t(m_timeout * 1e9);
    m_retrying = false;
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].retryAt > 0) {
            if (now >= m_slots[i].retryAt)
                begin(i);
            m_retrying = m_retrying || m_slots[i].retryAt > 0;
            continue;
        }
        if (m_slots[i].fd >= 0 && now - m_slots[i].started > limit) {
            ++counts.timeouts;
            finish(i, false);
        }
    }
}
