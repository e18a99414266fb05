"""Helpers for the fault and load tests: process figures from /proc and a reply checker."""
import os
import resource
import selectors
import socket
import struct
import time

import harnow

NOT_FOUND = b"HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n"
STATUSES = {
    "HTTP/1.1 200 OK",
    "HTTP/1.1 206 Partial Content",
    "HTTP/1.1 404 Not Found",
    "HTTP/1.1 416 Range Not Satisfiable",
}
HEADERS = {"Connection", "Accept-Ranges", "Content-Length", "Content-Range", "Content-Type"}


def raise_descriptor_limit(wanted):
    """Lets this test process hold `wanted` sockets (up to the hard limit)."""
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if hard != resource.RLIM_INFINITY:
        wanted = min(wanted, hard)
    if soft == resource.RLIM_INFINITY or soft >= wanted:
        return
    resource.setrlimit(resource.RLIMIT_NOFILE, (wanted, hard))


def status(pid):
    """Threads and VmRSS (in KiB) of a process, from /proc/PID/status."""
    figures = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            name, _, value = line.partition(":")
            if name in ("Threads", "VmRSS"):
                figures[name] = int(value.split()[0])
    return figures


def threads(server):
    return status(server.process.pid)["Threads"]


def rss_kib(server):
    return status(server.process.pid)["VmRSS"]


def descriptors(server):
    return len(os.listdir("/proc/%d/fd" % server.process.pid))


def wait_until(condition, timeout, what, pause=0.1):
    """Polls condition() until it holds; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        if condition():
            return
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(pause)


# An idle server has its main thread, its console writer and the thread that waits for a stop;
# ThreadSanitizer adds a thread of its own once the first connection thread has started.
IDLE_THREADS = 4 if "thread" in os.environ.get("HARNOW_SANITIZE", "") else 3


# For the tests that wait for the idle thread count: qemu runs threads of its own.
counts_threads = harnow.native_only("counts the server's threads, among them qemu's own")


def wait_idle(test, server, timeout=30):
    """Waits until the server is back to its idle thread count, and checks it still runs."""
    try:
        wait_until(lambda: threads(server) <= IDLE_THREADS, timeout, "idle threads")
    except AssertionError:
        raise AssertionError("threads did not return to %d in %d s (still %d)" %
                             (IDLE_THREADS, timeout, threads(server))) from None
    test.assertIsNone(server.process.poll(), "server exited; console: %r" % server.lines[-20:])


def abort(sock):
    """Closes with a reset instead of a clean end."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


def exchange(port, data, chunk=None, timeout=15):
    """Sends data (in pieces of `chunk` bytes, one write each), ends the sending side and
    returns every byte the server wrote before closing. A reset ends the reading too."""
    with harnow.connect(port, timeout) as sock:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            if chunk:
                for i in range(0, len(data), chunk):
                    sock.sendall(data[i:i + chunk])
            else:
                sock.sendall(data)
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the server may give up on a request (and reset it) before it is all sent
        return harnow.read_to_end(sock, timeout)[0]


def check_reply(test, reply, request=b""):
    """A reply is either nothing or one of the server's well-formed replies, whole."""
    if not reply:
        return None
    context = "request %r... gave %r..." % (request[:80], reply[:200])
    head, separator, body = reply.partition(b"\r\n\r\n")
    test.assertTrue(separator, context)
    lines = head.decode("latin-1").split("\r\n")
    test.assertIn(lines[0], STATUSES, context)
    headers = {}
    for line in lines[1:]:
        name, colon, value = line.partition(": ")
        test.assertTrue(colon and name in HEADERS and name not in headers, context)
        headers[name] = value
    test.assertEqual(headers.get("Connection"), "close", context)
    if request.lstrip(bytes(range(33))).startswith(b"HEAD "):
        test.assertEqual(body, b"", context)  # the head alone
    elif lines[0] == "HTTP/1.1 404 Not Found":
        test.assertEqual(reply, NOT_FOUND, context)
    elif lines[0].startswith("HTTP/1.1 416"):
        test.assertEqual(body, b"", context)
        test.assertRegex(headers.get("Content-Range", ""), r"^bytes \*/\d+$", context)
    elif "Content-Length" in headers:
        test.assertEqual(len(body), int(headers["Content-Length"]), context)
    else:
        # The listing page: no length, the end of the connection ends it.
        test.assertEqual(headers.get("Content-Type"), "text/html", context)
        test.assertTrue(body.startswith(b"<html>\n") and body.endswith(b"</html>\n"), context)
    return lines[0]


def connect_many(port, count, first_bytes):
    """Opens count connections without waiting on the backlog, so connects stuck behind a full
    one cannot hold the test up; each sends first_bytes once connected (a handshake whose last
    ACK a full backlog dropped is then retried) and nothing more. Bounded to 10 s."""
    clients = []
    with selectors.DefaultSelector() as selector:
        for _ in range(count):
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.setblocking(False)
            sock.connect_ex(("127.0.0.1", port))
            clients.append(sock)
            selector.register(sock, selectors.EVENT_WRITE)
        deadline = time.monotonic() + 10
        while selector.get_map() and time.monotonic() < deadline:
            for key, _ in selector.select(timeout=0.5):
                selector.unregister(key.fileobj)
                try:
                    key.fileobj.send(first_bytes)
                except OSError:
                    pass  # refused, or closed by a server out of descriptors or memory
    return clients
