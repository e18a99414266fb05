"""Runs the real harnow executable for end-to-end tests.

Each test script runs inside a private network namespace (see in_netns.sh), so the server
may take ports 80 and 8080. Every wait here is bounded.
"""
import os
import pwd
import queue
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

BINARY = os.environ.get("HARNOW_BINARY", os.path.join(os.path.dirname(__file__), "../../build/harnow"))
READY_PREFIX = "now open a browser and go to "
# Set when BINARY is the Windows build: the command that runs it (wine64), inside a Wine
# prefix of this namespace's own (with_wine_prefix.sh).
WINE = os.environ.get("HARNOW_WINE")
# Set when BINARY runs through another command: the emulator of its machine (qemu), or
# in_root.sh, which runs it in a root of its own.
EMULATOR = os.environ.get("HARNOW_EMULATOR", "").split()
RUN = [WINE, BINARY] if WINE else [*EMULATOR, BINARY]
# Set where the server loads libraries: faulty_fs.cpp, which faulty_fs() preloads.
FAULTY_FS = os.environ.get("HARNOW_FAULTY_FS")


def faulty_fs(error=0):
    """A server's environment with faulty_fs.cpp, its reads failing with the errno given."""
    return dict(os.environ, LD_PRELOAD=FAULTY_FS, HARNOW_FAULT_ERRNO=str(error),
                ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0")


def shown(path):
    """A local directory as the server shows it: on Windows, Wine's drive Z: holds '/'."""
    return "Z:" + path.replace("/", "\\") if WINE else path


def served(root, relative):
    """The directory the server lists for a request path: its directory joined with the path."""
    return shown(root) + ("\\" if WINE else "/") + relative


def in_directory_order(names):
    """Names in the order the system reads a directory: Wine sorts by the upper-case name."""
    return sorted(names, key=lambda name: (name.upper(), name)) if WINE else names


# Skips of a test that pins what one platform does are no gap in the run (see run_suite.py).
PLATFORM_SKIP = "only on "


def posix_only(reason):
    """Skips a test under Wine: the behaviour it pins belongs to POSIX."""
    return unittest.skipIf(WINE, PLATFORM_SKIP + "POSIX: " + reason)


def windows_only(reason):
    """Skips a test outside Wine: the behaviour it pins belongs to Windows."""
    return unittest.skipUnless(WINE, PLATFORM_SKIP + "Windows: " + reason)


def native_only(reason):
    """Skips a test under an emulator, whose own threads and memory are the process's too."""
    return unittest.skipIf(EMULATOR, PLATFORM_SKIP + "the machine itself, not under qemu: " +
                           reason)


class Server:
    """One harnow process: its console lines are collected as they arrive."""

    def __init__(self, cwd, args=(), user=None, env=None, prlimit=None, wrapper=()):
        # wrapper: a command that runs the server, e.g. strace to slow a system call down.
        command = [*wrapper, *RUN, *args]
        if prlimit:
            command = ["prlimit", *prlimit, "--", *command]
        if user:
            # By number: the user's group need not share its name ('nobody' is in 'nogroup').
            # A number is taken as both user and group, and need not be in the user table.
            if isinstance(user, int):
                uid = gid = user
            else:
                account = pwd.getpwnam(user)
                uid, gid = account.pw_uid, account.pw_gid
            command = ["setpriv", "--reuid", str(uid), "--regid", str(gid),
                       "--clear-groups", "--", *command]
        self.cwd = cwd
        self.lines = []
        self._queue = queue.Queue()
        self._reading = threading.Event()
        self._reading.set()
        self.process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                        env=env)
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self._seen = 0
        self.port = None

    def _read(self):
        for raw in self.process.stdout:
            self._reading.wait()
            line = raw.decode("utf-8", "surrogateescape").rstrip("\n")
            self.lines.append(line)
            self._queue.put(line)
        self._queue.put(None)

    def next_line(self, timeout=10):
        """The next console line not yet taken; None when the process has ended."""
        line = self._queue.get(timeout=timeout)
        if line is not None:
            self._seen += 1
        return line

    def wait_line(self, predicate, timeout=10):
        """Takes lines until one matches (a string is matched exactly); returns it."""
        if isinstance(predicate, str):
            wanted = predicate
            predicate = lambda line: line == wanted
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError("no matching console line; got %r" % self.lines)
            try:
                line = self.next_line(timeout=left)
            except queue.Empty:
                continue
            if line is None:
                raise AssertionError("server ended; console was %r" % self.lines)
            if predicate(line):
                return line

    def wait_ready(self, timeout=10):
        line = self.wait_line(lambda l: l.startswith(READY_PREFIX), timeout)
        address = line[len(READY_PREFIX):]
        self.port = int(address.rsplit(":", 1)[1]) if address.count(":") == 2 else 80
        # The address is printed between bind() and listen(): a client that connects at once
        # can still be refused, so wait until the socket listens. Looking does not connect,
        # so no console line comes of it.
        deadline = time.monotonic() + timeout
        while not listening(self.port):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError("port %d never listened; console was %r" %
                                     (self.port, self.lines))
            time.sleep(0.005)
        return self

    def settled_lines(self):
        """All console lines of what was answered so far: lines come in order, a little after
        their replies, so those of a request made now come last."""
        self.get("/console-settled")
        self.wait_line('error: file not found for "console-settled"')
        return self.lines

    def pause_console(self):
        """Stops reading the console, as a pager left unscrolled does: its pipe fills up."""
        self._reading.clear()

    def resume_console(self):
        self._reading.set()

    def wait_exit(self, timeout=10):
        return self.process.wait(timeout=timeout)

    def stop(self):
        self.resume_console()
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=10)
        self._reader.join(timeout=10)
        self.process.stdout.close()
        wait_unbound(self.port)

    def request(self, data, timeout=10, port=None):
        return request(data, port or self.port, timeout)

    def get(self, path, headers=(), timeout=10):
        text = "GET %s HTTP/1.1\r\nHost: localhost\r\n" % path
        text += "".join("%s\r\n" % h for h in headers) + "\r\n"
        return self.request(text.encode("utf-8", "surrogateescape"), timeout)


def rss_kib(server):
    """The server's resident memory in KiB; None where it means nothing: under Wine or qemu,
    where /proc shows the emulator's process, and under a sanitizer, which keeps freed memory
    on purpose."""
    if WINE or EMULATOR or os.environ.get("HARNOW_SANITIZE"):
        return None
    with open("/proc/%d/status" % server.process.pid) as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def listening(port):
    """Whether this network namespace has a TCP socket, IPv4 or IPv6, listening on the port."""
    for table in ["/proc/net/tcp", "/proc/net/tcp6"]:
        with open(table) as rows:
            if any(row.split()[3] == "0A" and int(row.split()[1].rsplit(":", 1)[1], 16) == port
                   for row in list(rows)[1:]):
                return True
    return False


def wait_unbound(port):
    """Under Wine the wineserver closes a program's sockets some milliseconds after its end."""
    for _ in range(500 if port else 0):
        if not listening(port):
            return
        time.sleep(0.01)


def connect(port, timeout=10, host="127.0.0.1"):
    return socket.create_connection((host, port), timeout=timeout)


def read_to_end(sock, timeout=10, chunks=()):
    """The rest of a reply after the chunks already read, and how it ended: 'close' or 'reset'."""
    chunks = list(chunks)
    deadline = time.monotonic() + timeout
    while True:
        sock.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            chunk = sock.recv(65536)
        except ConnectionResetError:
            return b"".join(chunks), "reset"
        except socket.timeout:
            raise AssertionError("reply did not end in time")
        if not chunk:
            return b"".join(chunks), "close"
        chunks.append(chunk)


def read_all(sock, timeout=10):
    """Everything the peer sends until it closes cleanly, within the timeout."""
    reply, end = read_to_end(sock, timeout)
    if end == "reset":
        raise ConnectionResetError("reset after %d bytes" % len(reply))
    return reply


def begun(port, data):
    """A connection whose reply has begun to arrive, and its first bytes. Its small receive
    buffer holds the rest back in the server until the client reads on (read_to_end)."""
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    sock.settimeout(10)
    sock.connect(("127.0.0.1", port))
    sock.sendall(data)
    return sock, sock.recv(16)


def request(data, port, timeout=10, host="127.0.0.1"):
    """Sends raw request bytes and returns the whole reply (the server closes the connection)."""
    with connect(port, timeout, host) as sock:
        sock.sendall(data)
        return read_all(sock, timeout)


def split_reply(reply):
    """(status line, [header lines], body) of a reply; its head's lines end in CR LF."""
    head, _, body = reply.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    return lines[0], lines[1:], body


def require_tools(test, *tools):
    """Skips the test when a tool it drives (a command, or a path) is missing; with CI=true
    fails it instead, since there every test must run."""
    missing = [tool for tool in tools
               if not (os.path.exists(tool) if os.sep in tool else shutil.which(tool))]
    if missing:
        lacks = "lacks %s (./test.sh installs it)" % ", ".join(missing)
        if os.environ.get("CI") == "true":
            test.fail("must run on CI but " + lacks)
        test.skipTest(lacks)


class ServerTestCase(unittest.TestCase):
    """A fresh served directory per test, and a helper that starts a server in it."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="harnow-site-")
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.stop()
        shutil.rmtree(self.root, ignore_errors=True)

    def write(self, relative, data=b""):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return path

    def start(self, cwd=None, ready=True, **kwargs):
        server = Server(cwd or self.root, **kwargs)
        self.servers.append(server)
        if ready:
            server.wait_ready()
        return server
