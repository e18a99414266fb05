"""Start-up lines, the choice of port, the fatal stop, a console window kept open after it,
a thread that cannot start, and the stop asked for by a signal."""
import concurrent.futures
import os
import pty
import re
import select
import signal
import socket
import subprocess
import time

import harnow
from harnow import begun, read_to_end
from replies import NOT_FOUND, file_reply, listing, quoted, receive

BANNER = ["Harnow by https://harnow.example", ""]
ON_80 = "now open a browser and go to http://localhost"
FALLBACK = ["trying port 8080", "now open a browser and go to http://localhost:8080"]


def setUpModule():
    # A network: every test on a pipe shows the lines for other devices absent.
    for command in ["link add lan0 type veth peer name docker0", "addr add 192.0.2.10/24 dev lan0",
                    "addr add 169.254.7.7/16 dev lan0", "addr add 198.51.100.1/24 dev docker0",
                    "link set lan0 up", "link set docker0 up", "link add lan2 type bridge",
                    "addr add 203.0.113.5/24 dev lan2"]:
        subprocess.run(["ip", *command.split()], check=True)


def on_terminal(cwd, until, timeout=10):
    """The server on a pseudo-terminal: its pid, the terminal, what it showed until `until` did."""
    pid, terminal = pty.fork()
    if pid == 0:
        try:
            os.chdir(cwd)
            os.execv(harnow.RUN[0], harnow.RUN)
        finally:
            os._exit(127)  # never back into the tests
    shown, deadline = b"", time.monotonic() + timeout
    while not all(part in shown for part in until) and time.monotonic() < deadline:
        if select.select([terminal], [], [], 0.1)[0]:
            try:
                shown += os.read(terminal, 4096)
            except OSError:  # the terminal is closed: the program has ended
                break
    return pid, terminal, shown


def hold(port, host="0.0.0.0"):
    holder = socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET)
    # Earlier servers' connections may linger in TIME_WAIT; a listener still holds the port.
    holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    holder.bind((host, port))
    holder.listen(1)
    return holder


class Startup(harnow.ServerTestCase):
    def served_line(self, directory=None):
        return "serving directory " + quoted(harnow.shown(directory or self.root))

    def settled_lines(self, server):
        # Nothing more may follow the address line; give a late line the chance to show.
        time.sleep(0.3)
        return server.lines

    def test_takes_port_80_when_it_is_free_however_it_was_started(self):
        self.write("caf\u00e9.html", b"hi")
        # Names are UTF-8 whatever the environment says: a locale this machine lacks (an SSH
        # session passes its own on), one that is no UTF-8. Signals ignored at start stay
        # ignored: nohup, and Ctrl+C in a script's job in the background. Wine maps names
        # through the locale it is given, and takes signals its own way: it starts plainly.
        ignoring = ("sh", "-c", 'trap "" HUP INT && exec "$0" "$@"')
        starts = [({}, ())] if harnow.WINE else [
            ({}, ()), ({"LANG": "xx_YY.UTF-8"}, ()),
            ({"LC_ALL": "de_DE.ISO-8859-1", "LANG": "C.UTF-8"}, ()), ({}, ignoring)]
        bare = {k: v for k, v in os.environ.items() if not k.startswith(("LANG", "LC_"))}
        for locale, wrapper in starts:
            with self.subTest(wrapper=" ".join(wrapper), **locale):
                server = self.start(env={**bare, **locale} if locale else None, wrapper=wrapper)
                self.assertEqual(self.settled_lines(server), BANNER + [self.served_line(), ON_80])
                for name in ["SIGHUP", "SIGINT"] if wrapper else []:
                    server.process.send_signal(getattr(signal, name))
                for host in ["127.0.0.1", "::1"]:
                    self.assertEqual(harnow.request(b"GET /caf%C3%A9.html HTTP/1.1\r\n\r\n", 80,
                                                    host=host), file_reply(b"hi", "text/html"))
                self.assertEqual(server.get("/"), listing(
                    harnow.shown(self.root), os.path.basename(self.root),
                    [("caf\u00e9.html", "caf\u00e9.html")]))
                if wrapper:
                    server.process.send_signal(signal.SIGTERM)
                    self.assertEqual(server.wait_exit(), -signal.SIGTERM)
                server.stop()

    def test_falls_back_to_8080_when_port_80_is_held(self):
        self.write("index.html", b"hi")
        # An IPv6 holder alone too, as a development server on localhost: clients try ::1 first.
        for host in ["0.0.0.0", "::1"]:
            with hold(80, host):
                server = self.start()
                self.assertEqual(self.settled_lines(server), BANNER + [
                    self.served_line(), "not able to act as a server on port 80: address in use"
                ] + FALLBACK, host)
                self.assertEqual(server.get("/index.html"), file_reply(b"hi", "text/html"))
                server.stop()

    def test_stops_with_status_1_when_both_ports_are_held(self):
        with hold(80), hold(8080):
            # Under Wine a program that exits within milliseconds of its start has now and then
            # printed nothing at all (once in CI, never in a thousand runs here). The second run
            # must print every line, so a server that loses them still fails.
            for _ in range(2 if harnow.WINE else 1):
                server = self.start(ready=False)
                self.assertEqual(server.wait_exit(), 1)
                server.stop()
                if server.lines:
                    break
        self.assertEqual(server.lines, BANNER + [
            self.served_line(), "not able to act as a server on port 80: address in use",
            "trying port 8080", "error in main: address in use"
        ])

    @harnow.windows_only("a console window that closes with its program")
    def test_keeps_a_console_of_its_own_open_until_enter(self):
        # Started on a terminal, Wine gives the program a console that no other process shares,
        # as a double-click does on Windows.
        with hold(80), hold(8080):
            pid, terminal, shown = on_terminal(self.root, [b"press Enter to close"])
            ended = 0
            try:
                time.sleep(0.3)
                ended, status = os.waitpid(pid, os.WNOHANG)
                self.assertFalse(ended, "closed before Enter")
                os.write(terminal, b"\r")
                for _ in range(100):
                    ended, status = os.waitpid(pid, os.WNOHANG)
                    if ended:
                        break
                    time.sleep(0.1)
                self.assertEqual(os.waitstatus_to_exitcode(status), 1)
            finally:
                if not ended:
                    os.kill(pid, 9)
                    os.waitpid(pid, 0)
                os.close(terminal)
        # Wine's console hides the cursor while it writes, around each write of its own.
        self.assertIn(b"error in main: address in use\r\r\npress Enter to close",
                      re.sub(rb"\x1b\[\?25[lh]", b"", shown))

    def test_a_terminal_shows_the_addresses_for_other_devices_too(self):
        # Windows leaves out adapters that are not Ethernet or Wi-Fi, whatever their name.
        others = ["192.0.2.10", "198.51.100.1"] if harnow.WINE else ["192.0.2.10"]
        for port, holder in [(":8080", hold(80)), ("", None)]:
            wanted = ["or from another device: http://%s%s\r" % (a, port) for a in others]
            pid, terminal, shown = on_terminal(self.root, [w.encode() for w in wanted])
            time.sleep(0.3)  # for a line too many
            shown += os.read(terminal, 65536) if select.select([terminal], [], [], 0)[0] else b""
            os.kill(pid, 9)
            os.waitpid(pid, 0)
            os.close(terminal)
            harnow.wait_unbound(80 if holder is None else 8080)
            if holder:
                holder.close()
            # Wine's console adds a CR to each line and hides the cursor while it writes.
            text = re.sub(r"\x1b\[\?25[lh]|\r", "", shown.decode())
            self.assertEqual(sorted(text.split(ON_80 + port + "\n", 1)[1].splitlines()),
                             [w[:-1] for w in wanted], text)

    @harnow.posix_only("Windows has no user that may not bind port 80")
    def test_an_unprivileged_user_is_refused_port_80_and_serves_on_8080(self):
        os.chmod(self.root, 0o755)
        self.write("index.html", b"hi")
        server = self.start(user="nobody")
        self.assertEqual(self.settled_lines(server), BANNER + [
            self.served_line(), "not able to act as a server on port 80: access denied"
        ] + FALLBACK)
        self.assertEqual(server.get("/index.html"), file_reply(b"hi", "text/html"))

    def test_ignores_its_arguments(self):
        self.write("index.html", b"hi")
        server = self.start(args=("--port", "9000", "/etc", "-h"))
        self.assertEqual(self.settled_lines(server), BANNER + [self.served_line(), ON_80])
        self.assertEqual(server.get("/index.html"), file_reply(b"hi", "text/html"))

    def test_quotes_a_directory_named_with_ampersand_quote_and_accent(self):
        # Windows names cannot hold '"'.
        name, shown = ("a&b c \u00e9", "a&&b c \u00e9") if harnow.WINE else \
            ('a&b"c \u00e9', 'a&&b&"c \u00e9')
        directory = os.path.join(self.root, name)
        os.mkdir(directory)
        server = self.start(cwd=directory)
        self.assertEqual(server.lines[2], self.served_line(directory))
        self.assertIn(shown + '"', server.lines[2])
        self.assertEqual(server.get("/"), listing(harnow.shown(directory), name, []))
        server.wait_line("listing html files in " + quoted(harnow.shown(directory)))

    @harnow.posix_only("Windows cannot remove a directory that a process works in")
    def test_stops_with_status_1_in_a_directory_that_was_removed(self):
        gone = os.path.join(self.root, "gone")
        os.mkdir(gone)
        run = subprocess.run(["sh", "-c", 'cd "$1" && rmdir "$1" && shift && exec "$@"', "sh",
                              gone, *harnow.RUN], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             timeout=30)
        self.assertEqual(run.returncode, 1)
        self.assertEqual(run.stdout.decode().split("\n"), BANNER + [
            "error in main: boost::filesystem::current_path: No such file or directory", ""])

    @harnow.posix_only("descriptor numbers and limits")
    def test_starts_with_its_standard_descriptors_closed_and_takes_the_hard_descriptor_limit(self):
        # As some launchers start it: console text must never go to a socket instead, also in
        # a root without /dev/null (a bare chroot, a minimal container).
        self.write("index.html", b"hi")
        wanted = {b"GET /index.html HTTP/1.1\r\n\r\n": file_reply(b"hi", "text/html"),
                  b"GET /x HTTP/1.1\r\n\r\n": NOT_FOUND}
        for devices in ["", "mount -t tmpfs none /dev && "]:
            process = subprocess.Popen(["prlimit", "--nofile=64:4096", "--", "unshare", "-m", "sh",
                                        "-c", devices + 'exec "$0" "$@" <&- >&-', *harnow.RUN],
                                       cwd=self.root)
            try:
                deadline = time.monotonic() + 10
                while not harnow.listening(80):
                    self.assertLess(time.monotonic(), deadline, "never listened")
                    time.sleep(0.01)
                with concurrent.futures.ThreadPoolExecutor(8) as pool:
                    asked = list(wanted) * 50
                    replies = pool.map(lambda data: harnow.request(data, 80), asked)
                    self.assertEqual(list(replies), [wanted[data] for data in asked], devices)
                for descriptor in range(3):
                    self.assertNotRegex(os.readlink("/proc/%d/fd/%d" % (process.pid, descriptor)),
                                        "^socket:", devices)
                with open("/proc/%d/limits" % process.pid) as limits:
                    self.assertRegex(limits.read(), r"Max open files +4096 +4096 ")
            finally:
                process.kill()
                process.wait(timeout=10)
                harnow.wait_unbound(80)

    @harnow.posix_only("a limit on a user's processes, counted in /proc")
    def test_a_thread_that_cannot_start_costs_only_its_connection(self):
        # A user of its own with room for the threads an idle server has after its first
        # request (a sanitizer may add its own) and one connection thread more. The limit counts
        # every process of the user: no other test's or test run's may share it.
        os.chmod(self.root, 0o755)
        self.write("index.html", b"hi")
        user = 50000 + os.getpid() % 10000
        probe = self.start(user=user)
        probe.get("/index.html")
        probe.wait_line('"index.html" (2) text/html')
        time.sleep(0.2)
        with open("/proc/%d/status" % probe.process.pid) as status:
            threads = int(next(l for l in status if l.startswith("Threads:")).split()[1])
        probe.stop()
        server = self.start(user=user, prlimit=("--nproc=%d" % (threads + 1),))
        with harnow.connect(server.port) as holder:
            holder.sendall(b"GET /index.html HTTP/1.1\r\n")
            reply, _ = receive(b"GET /index.html HTTP/1.1\r\n\r\n", server.port)
            self.assertEqual(reply, b"")
            server.wait_line(lambda line: line.startswith("error starting a thread: "))
            # Refused as fast as they come, not paced (300 took 30 s at 10 a second).
            began, request = time.monotonic(), b"GET /index.html HTTP/1.1\r\n\r\n"
            ends = {receive(request, server.port, timeout=60) for _ in range(300)}
            self.assertEqual((ends, time.monotonic() - began < 15), ({(b"", "reset")}, True))
        server.wait_line("error: unexpected end of file")
        # The held thread is ending; a connection that comes after it is served again.
        for _ in range(100):
            reply, _ = receive(b"GET /index.html HTTP/1.1\r\n\r\n", server.port)
            if reply:
                break
            time.sleep(0.1)
        self.assertEqual(reply, file_reply(b"hi", "text/html"))
        self.assertIsNone(server.process.poll())

    @harnow.posix_only("strace holds the server in accept()")
    def test_a_connection_accepted_as_it_comes_is_served_by_a_stop_and_reset_by_a_kill(self):
        harnow.require_tools(self, "strace")
        self.write("index.html", b"hi")
        # The kill as for a browser's preconnect, which sends nothing: it must not end cleanly.
        for name, request in [("SIGTERM", b"GET /index.html HTTP/1.1\r\n\r\n"), ("SIGKILL", b"")]:
            server = self.start(wrapper=("strace", "-o", "/dev/null", "-e", "trace=accept4",
                                         "-e", "inject=accept4:delay_exit=500000"))
            with harnow.connect(80) as sock:
                sock.sendall(request)
                time.sleep(0.2)  # accepted, not yet handed to a thread
                with open("/proc/%d/task/%d/children" % ((server.process.pid,) * 2)) as children:
                    os.kill(int(children.read()), getattr(signal, name))
                self.assertEqual(read_to_end(sock), (file_reply(b"hi", "text/html"), "close")
                                 if request else (b"", "reset"))
            server.stop()

    def test_a_stop_finishes_short_replies_resets_long_ones_and_writes_every_line(self):
        # A page of 6.5 MB, more than the system's largest send buffer: a client that reads
        # none of it holds it back in the server for good.
        for i in range(12000):
            self.write("%05d-%s.html" % (i, "n" * 240))
        short = os.urandom(1 << 20)
        self.write("short.bin", short)
        whole = (file_reply(short, "application/octet-stream"), "close")
        for name in ("SIGTERM", "SIGINT", "SIGHUP", "SIGKILL"):
            # Wine takes SIGINT for Ctrl+C, and ends at once on the others.
            orderly = name == "SIGINT" if harnow.WINE else name != "SIGKILL"
            with self.subTest(name):
                server = self.start()
                page, _ = begun(server.port, b"GET / HTTP/1.1\r\n\r\n")
                download, first = begun(server.port, b"GET /short.bin HTTP/1.1\r\n\r\n")
                # Idle (a browser's preconnect) or half sent, they have no reply to cut.
                waiting = [harnow.connect(server.port) for _ in range(3)]
                waiting[0].sendall(b"GET /short.bin HTTP/1.1\r\n")
                # Their lines go out a little after the replies: some wait when the stop comes.
                for i in range(25):
                    server.get("/missing%d" % i)
                server.process.send_signal(getattr(signal, name))
                with page, download:
                    downloaded = read_to_end(download, 30, [first])
                    status = server.wait_exit(30)
                    try:
                        self.assertEqual(read_to_end(page)[1], "reset")
                    except AssertionError as e:
                        # Wine's server now and then keeps a dead program's socket open, neither
                        # reset nor closed (1 in 15 here); it must never end cleanly.
                        if not (harnow.WINE and "did not end" in str(e)):
                            raise
                if not harnow.WINE:
                    self.assertEqual(status, -getattr(signal, name))
                # Finished in order; else reset, unless it was whole before the end came.
                if orderly or downloaded[1] != "reset":
                    self.assertEqual(downloaded, whole)
                if orderly:
                    self.assertEqual(server.lines[4:], [
                        "listing html files in " + quoted(harnow.shown(self.root)),
                        '"short.bin" (%d) application/octet-stream' % len(short)
                    ] + ['error: file not found for "missing%d"' % i for i in range(25)] + [
                        "error: replies cut short by the stop: 1"])
                server.stop()
                for sock in waiting:
                    sock.close()
