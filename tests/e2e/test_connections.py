"""Connections: early ends, simultaneous downloads, unmixed console lines, long request heads."""
import concurrent.futures
import errno
import os
import select
import signal
import socket
import subprocess
import time

import harnow
from harnow import begun, read_to_end
from replies import NOT_FOUND, file_reply, listing, quoted, receive

LARGE = 16 << 20


class Connections(harnow.ServerTestCase):
    def test_reports_a_client_that_ends_before_its_request_does(self):
        self.write("index.html", b"hi")
        server = self.start()
        harnow.connect(server.port).close()
        self.assertEqual(server.next_line(), "error: unexpected end of file")
        # A file's header lines are read too; ending among them is the same failure.
        with harnow.connect(server.port) as sock:
            sock.sendall(b"GET /index.html HTTP/1.1\r\nHost: x\r\n")
            sock.shutdown(socket.SHUT_WR)
            self.assertEqual(read_to_end(sock), (b"", "reset"))
        self.assertEqual(server.next_line(), "error: unexpected end of file")

    def test_a_file_that_fails_while_it_is_sent_ends_its_reply_with_a_reset_and_says_why(self):
        path = self.write("large.bin", os.urandom(LARGE))
        # Reads that fail past 1 MiB as a killed FUSE daemon's do, or FAT's past 2 GiB, then the
        # file shrinking: each is the file's failure, whether sendfile() or a read met it.
        faults = [(errno.ENOTCONN, "input/output error"), (errno.EPERM, "access denied")]
        for env, why in [(harnow.faulty_fs(error), why) for error, why in faults
                         if harnow.FAULTY_FS] + [(None, "unexpected end of file")]:
            server = self.start(env=env)
            sock, first = begun(server.port, b"GET /large.bin HTTP/1.1\r\n\r\n")
            with sock:
                if not env:
                    os.truncate(path, 1 << 20)
                reply, end = read_to_end(sock, 60, [first])
            self.assertEqual(end, "reset")
            self.assertLess(len(reply), LARGE)
            server.wait_line('error: %s for "large.bin"' % why)
            server.stop()

    def test_two_clients_download_one_large_file_at_the_same_time(self):
        content = os.urandom(LARGE)
        self.write("large.bin", content)
        server = self.start()
        clients = [harnow.connect(server.port, 60) for _ in range(2)]
        for sock in clients:
            sock.sendall(b"GET /large.bin HTTP/1.1\r\n\r\n")
        # Take turns, a piece from each, so both replies are under way together.
        received, open_ = [b"", b""], [True, True]
        while any(open_):
            for i, sock in enumerate(clients):
                if open_[i]:
                    piece = sock.recv(256 << 10)
                    received[i] += piece
                    open_[i] = bool(piece)
        for sock, reply in zip(clients, received):
            sock.close()
            self.assertTrue(reply == file_reply(content, "application/octet-stream"))
        line = '"large.bin" (%d) application/octet-stream' % LARGE
        self.assertEqual([server.next_line(), server.next_line()], [line, line])

    def test_a_burst_of_connections_is_queued_whole_while_the_server_is_held_up(self):
        # Stopped, the server accepts nothing: only its listen backlog holds the burst. A SYN
        # beyond the backlog is dropped and resent after 1 s, 3 s, ...: still no room then.
        self.write("a.html", b"a")
        server = self.start()
        clients = [socket.socket() for _ in range(120)]
        os.kill(server.process.pid, signal.SIGSTOP)  # SIGKILL still ends it after a failure
        for sock in clients:
            sock.setblocking(False)
            sock.connect_ex(("127.0.0.1", server.port))
        waiting, deadline = list(clients), time.monotonic() + 10
        while waiting and time.monotonic() < deadline:
            _, done, _ = select.select([], waiting, [], 0.1)
            waiting = [sock for sock in waiting if sock not in done]
        self.assertEqual(len(waiting), 0, "connections left out of the backlog")
        os.kill(server.process.pid, signal.SIGCONT)
        for sock in clients:
            sock.sendall(b"GET /a.html HTTP/1.1\r\n\r\n")
        self.assertEqual({harnow.read_all(s) for s in clients}, {file_reply(b"a", "text/html")})

    def test_console_lines_of_many_connections_never_mix(self):
        self.write("docs/a.html", b"a")
        long_name = "n" * 250 + ".html"
        server = self.start()
        expected = {
            "/docs/a.html": (file_reply(b"a", "text/html"), '"docs/a.html" (1) text/html'),
            "/docs": (listing(harnow.served(self.root, "docs"), "docs", [("docs/a.html", "a.html")]),
                      "listing html files in " + quoted(harnow.served(self.root, "docs"))),
            "/" + long_name: (NOT_FOUND, "error: file not found for " + quoted(long_name)),
        }
        paths = list(expected) * 40

        with concurrent.futures.ThreadPoolExecutor(12) as pool:
            replies = list(pool.map(lambda path: server.get(path, timeout=30), paths))
        for path, reply in zip(paths, replies):
            self.assertEqual(reply, expected[path][0], path[:20])
        lines = [server.next_line(timeout=30) for _ in paths]
        allowed = {line for _, line in expected.values()}
        self.assertEqual([line for line in lines if line not in allowed], [])

    def test_a_long_request_head_still_gets_the_whole_reply(self):
        # Browsers send heads of several KB (cookies); the reply must not turn into a reset.
        self.write("index.html", b"hi")
        server = self.start()
        cookie = "Cookie: " + "c" * 4000 + "\r\n"
        for path, reply in [("/", listing(harnow.shown(self.root), os.path.basename(self.root),
                                          [("index.html", "index.html")])),
                            ("/missing.html", NOT_FOUND)]:
            head = ("GET %s HTTP/1.1\r\nHost: x\r\n%s\r\n" % (path, cookie)).encode()
            self.assertGreater(len(head), 4000)
            got, end = receive(head, server.port, pause=0.3)
            self.assertEqual((got, end), (reply, "close"), path)

    def test_a_console_that_nobody_reads_holds_up_no_connection(self):
        # 'harnow | less' left unscrolled: the lines wait in a queue of fixed size, those that
        # find it full are counted, and every request is answered meanwhile.
        server = self.start()
        server.pause_console()
        # A 1000-byte path whose bytes the console shows as \xNN: 4 KiB lines fill it quickly.
        path = "/" + "/".join(["%01" * 200] * 5)
        with concurrent.futures.ThreadPoolExecutor(8) as pool:
            replies = list(pool.map(lambda _: server.get(path, timeout=30), range(100)))
            rss = harnow.rss_kib(server)
            replies += pool.map(lambda _: server.get(path, timeout=30), range(400))
        self.assertEqual(set(replies), {NOT_FOUND})
        if rss:  # nothing queues up in memory
            self.assertLess(harnow.rss_kib(server) - rss, 1024)

        server.resume_console()
        shown = [server.next_line(timeout=30)]
        while not shown[-1].endswith(" console lines were lost"):
            shown.append(server.next_line(timeout=30))
        self.assertEqual(set(shown[:-1]), {shown[0]})
        self.assertTrue(shown[0].startswith("error: "), shown[0])
        self.assertEqual(len(shown) - 1 + int(shown[-1].split()[1]), 500)
        self.assertEqual(server.get("/missing.html"), NOT_FOUND)
        self.assertEqual(server.next_line(), 'error: file not found for "missing.html"')

    def test_outlives_a_console_reader_that_has_gone(self):
        # Output piped to a reader that quits ('harnow | head') must not stop the serving.
        self.write("a.html", b"a")
        process = subprocess.Popen(harnow.RUN, cwd=self.root, stdout=subprocess.PIPE,
                                   stdin=subprocess.DEVNULL)
        try:
            for line in process.stdout:
                if line.startswith(harnow.READY_PREFIX.encode()):
                    break
            process.stdout.close()
            for _ in range(3):
                reply = harnow.request(b"GET /a.html HTTP/1.1\r\n\r\n", 80)
                self.assertEqual(reply, file_reply(b"a", "text/html"))
            self.assertIsNone(process.poll())
        finally:
            process.kill()
            process.wait(timeout=10)
