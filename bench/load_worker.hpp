#pragma once

// The connection side of the load generator: one epoll loop that keeps a number of
// one-request connections going, checks each reply and counts the results.

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

int64_t nowNanos();

// Starts a non-blocking connect; returns the descriptor or -1.
int startConnect(const sockaddr_in& to);

struct Counts
{
    long requests = 0;
    long connectErrors = 0;
    long resets = 0;
    long timeouts = 0;
    long badStatus = 0;
    long shortBodies = 0;
    int64_t bytes = 0;
    std::vector<uint32_t> micros;

    long errors() const { return connectErrors + resets + timeouts + badStatus + shortBodies; }
};

// One connection carrying one request.
struct Slot
{
    int fd = -1;
    int64_t started = 0; // before socket()
    size_t sent = 0;
    int64_t received = 0;
    std::string head; // the reply up to and including the blank line
    bool headDone = false;
    int status = 0;
    int64_t contentLength = -1;
    int64_t headLength = 0;
    int64_t retryAt = 0; // a connect that failed at once is tried again from then on
};

// Runs `concurrency` connections at a time until the deadline or until `quota` requests
// (-1: no limit) have been started and finished. A reply counts when its status is `status`
// and its body matches its Content-Length; a request older than `timeout` seconds is cut.
class Worker
{
public:
    Worker(const sockaddr_in& to, const std::string& request, int status, double timeout,
           long quota);
    void run(int64_t deadline, int concurrency);

    Counts counts;

private:
    long active() const;
    void begin(size_t i);
    void finish(size_t i, bool ok);
    void step(size_t i, uint32_t events);
    void complete(size_t i);
    void expire(int64_t now);

    sockaddr_in m_to;
    const std::string& m_request;
    int m_status;
    double m_timeout;
    long m_quota; // requests still to start; -1: until the deadline
    std::vector<char> m_buffer;
    std::vector<Slot> m_slots;
    int m_epoll = -1;
    bool m_retrying = false;
};
