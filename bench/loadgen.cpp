// Load generator for one-request-per-connection HTTP: every request gets a fresh connection,
// the reply is read to the end of the connection, and the latency runs from socket() to EOF.
// One epoll loop per worker thread; every run is bounded in time and stops by itself.
//
//   loadgen run  [-a ADDR] [-p PORT] [-u PATH] [-H 'Name: value']... [-c CONC] [-n TOTAL]
//                [-d SECONDS] [-t TIMEOUT] [-s STATUS] [-w WORKERS]
//   loadgen hold [-a ADDR] [-p PORT] -c COUNT [-r CONNECTS_PER_S] [-W WINDOW] [-d SECONDS]
//   loadgen wait [-a ADDR] [-p PORT] [-d SECONDS]
//
// run prints one line of key=value pairs: requests, errors (and their kinds), bytes, seconds,
// rps, mbps (body and header bytes received per second, 10^6), p50_ms, p99_ms, max_ms.
// hold opens COUNT idle connections (paced, so a short listen backlog is not overrun), prints
// "held=K", keeps them open for SECONDS and closes them; SIGTERM ends it earlier.
// wait returns 0 as soon as a connection to the port succeeds, 1 after SECONDS.

#include "load_worker.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    std::string mode;
    std::string address = "127.0.0.1";
    int port = 80;
    std::string path = "/";
    std::vector<std::string> headers;
    int concurrency = 1;
    long total = 0;      // 0: no limit but time
    double seconds = 5;  // hard bound on every mode
    double timeout = 10; // per request
    int status = 200;
    int workers = 1;
    double rate = 2000; // hold: connects per second
    int window = 32;    // hold: handshakes in flight
};

[[noreturn]] void usage(const char* why)
{
    std::fprintf(stderr, "loadgen: %s\n", why);
    std::fprintf(stderr, "usage: loadgen run|hold|wait [-a addr] [-p port] [-u path] [-H header]"
                         " [-c conc] [-n total] [-d seconds] [-t timeout] [-s status]"
                         " [-w workers] [-r rate] [-W window]\n");
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    if (argc < 2)
        usage("no mode");
    Options o;
    o.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc)
            usage(("missing value for " + flag).c_str());
        const char* v = argv[++i];
        if (flag == "-a")
            o.address = v;
        else if (flag == "-p")
            o.port = std::atoi(v);
        else if (flag == "-u")
            o.path = v;
        else if (flag == "-H")
            o.headers.push_back(v);
        else if (flag == "-c")
            o.concurrency = std::atoi(v);
        else if (flag == "-n")
            o.total = std::atol(v);
        else if (flag == "-d")
            o.seconds = std::atof(v);
        else if (flag == "-t")
            o.timeout = std::atof(v);
        else if (flag == "-s")
            o.status = std::atoi(v);
        else if (flag == "-w")
            o.workers = std::atoi(v);
        else if (flag == "-r")
            o.rate = std::atof(v);
        else if (flag == "-W")
            o.window = std::atoi(v);
        else
            usage(("unknown option " + flag).c_str());
    }
    if (o.concurrency < 1 || o.workers < 1 || o.window < 1 || o.seconds <= 0 || o.seconds > 600)
        usage("bad -c, -w, -W or -d (at most 600 s)");
    return o;
}

sockaddr_in target(const Options& o)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(o.port));
    if (inet_pton(AF_INET, o.address.c_str(), &a.sin_addr) != 1)
        usage("address must be dotted IPv4");
    return a;
}

double percentile(std::vector<uint32_t>& v, double p)
{
    if (v.empty())
        return 0;
    size_t k = std::min(v.size() - 1, size_t(p * double(v.size())));
    std::nth_element(v.begin(), v.begin() + long(k), v.end());
    return v[k] / 1000.0;
}

int runMode(const Options& o)
{
    std::string request = "GET " + o.path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n";
    for (const std::string& h : o.headers)
        request += h + "\r\n";
    request += "\r\n";

    int workers = std::min(o.workers, o.concurrency);
    std::vector<Worker*> pool;
    for (int w = 0; w < workers; ++w) {
        long quota = -1;
        if (o.total > 0)
            quota = o.total / workers + (w < o.total % workers ? 1 : 0);
        pool.push_back(new Worker(target(o), request, o.status, o.timeout, quota));
    }
    int64_t start = nowNanos();
    int64_t deadline = start + int64_t(o.seconds * 1e9);
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) {
        int share = o.concurrency / workers + (w < o.concurrency % workers ? 1 : 0);
        threads.emplace_back([&, w, share] { pool[size_t(w)]->run(deadline, share); });
    }
    for (std::thread& t : threads)
        t.join();
    // A run limited by count ends with its last reply; one limited by time with the deadline.
    double seconds = double(std::min(nowNanos(), deadline) - start) / 1e9;

    Counts all;
    for (Worker* w : pool) {
        const Counts& c = w->counts;
        all.requests += c.requests;
        all.connectErrors += c.connectErrors;
        all.resets += c.resets;
        all.timeouts += c.timeouts;
        all.badStatus += c.badStatus;
        all.shortBodies += c.shortBodies;
        all.bytes += c.bytes;
        all.micros.insert(all.micros.end(), c.micros.begin(), c.micros.end());
        delete w;
    }
    double p50 = percentile(all.micros, 0.50);
    double p99 = percentile(all.micros, 0.99);
    double max =
        all.micros.empty() ? 0 : *std::max_element(all.micros.begin(), all.micros.end()) / 1000.0;
    std::printf("requests=%ld errors=%ld connect_errors=%ld resets=%ld timeouts=%ld bad_status=%ld "
                "short_bodies=%ld bytes=%lld seconds=%.3f rps=%.1f mbps=%.1f p50_ms=%.3f "
                "p99_ms=%.3f max_ms=%.3f\n",
                all.requests, all.errors(), all.connectErrors, all.resets, all.timeouts,
                all.badStatus, all.shortBodies, static_cast<long long>(all.bytes), seconds,
                all.requests / seconds, double(all.bytes) / seconds / 1e6, p50, p99, max);
    return all.requests > 0 ? 0 : 1;
}

// Opens idle connections at a bounded rate, at most -W handshakes at a time, and keeps them.
// A handshake whose SYN a full listen queue dropped is retried by the kernel after 1, 3, 7 s;
// the other handshakes go on meanwhile.
int holdMode(const Options& o)
{
    const size_t window = size_t(o.window);
    sockaddr_in to = target(o);
    int64_t start = nowNanos();
    int64_t deadline = start + int64_t(o.seconds * 1e9);
    int64_t gap = int64_t(1e9 / (o.rate > 0 ? o.rate : 1));
    int epoll = epoll_create1(EPOLL_CLOEXEC);
    std::vector<int> held;
    size_t pending = 0;
    long opened = 0;
    epoll_event events[16];
    while (int(held.size()) < o.concurrency && nowNanos() < deadline) {
        int64_t now = nowNanos();
        if (pending < window && held.size() + pending < size_t(o.concurrency) &&
            now >= start + opened * gap) {
            int fd = startConnect(to);
            if (fd >= 0) {
                epoll_event e = {};
                e.events = EPOLLOUT;
                e.data.fd = fd;
                epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &e);
                ++pending;
                ++opened;
                continue;
            }
        }
        int n = epoll_wait(epoll, events, 16, 1);
        for (int k = 0; k < n; ++k) {
            int fd = events[k].data.fd;
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
            --pending;
            if (error == 0)
                held.push_back(fd);
            else
                close(fd); // refused: opened again on a later turn
        }
    }
    std::printf("held=%zu seconds=%.3f\n", held.size(), double(nowNanos() - start) / 1e9);
    std::fflush(stdout);
    while (nowNanos() < deadline)
        usleep(20000);
    for (int fd : held)
        close(fd);
    close(epoll);
    return int(held.size()) == o.concurrency ? 0 : 1;
}

int waitMode(const Options& o)
{
    sockaddr_in to = target(o);
    int64_t deadline = nowNanos() + int64_t(o.seconds * 1e9);
    while (nowNanos() < deadline) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) {
            close(fd);
            return 0;
        }
        if (fd >= 0)
            close(fd);
        usleep(20000);
    }
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    Options o = parse(argc, argv);
    if (o.mode == "run")
        return runMode(o);
    if (o.mode == "hold")
        return holdMode(o);
    if (o.mode == "wait")
        return waitMode(o);
    usage("mode must be run, hold or wait");
}
