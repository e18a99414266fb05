"""Clients that abort mid-download, and a server that runs out of descriptors."""
import concurrent.futures
import fcntl
import os
import pty
import random
import select
import subprocess
import time

import harnow
import robust

BIG = 64 << 20


class Faults(harnow.ServerTestCase):
    def setUp(self):
        super().setUp()
        self.write("small.txt", b"small file\n")
        self.write("page.html", b"<p>page</p>\n")
        # Sparse: 64 MiB of zeros without the disk space.
        with open(os.path.join(self.root, "big.bin"), "wb") as f:
            f.truncate(BIG)

    def fetch_small(self, server):
        status, _, body = harnow.split_reply(server.get("/small.txt"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"small file\n"))

    @robust.counts_threads
    def test_clients_aborting_mid_download_leave_the_server_serving(self):
        server = self.start()

        def download_part(number):
            rng = random.Random(number)
            sock = harnow.connect(server.port)
            sock.sendall(b"GET /big.bin HTTP/1.1\r\n\r\n")
            wanted, got = rng.randrange(1, 4 << 20), 0
            while got < wanted:
                piece = sock.recv(65536)
                self.assertTrue(piece, "reply ended early")
                got += len(piece)
            # Half go with a reset, half with a plain close over unread bytes.
            robust.abort(sock) if number % 2 else sock.close()

        with concurrent.futures.ThreadPoolExecutor(20) as pool:
            list(pool.map(download_part, range(20)))
        for _ in range(20):
            server.wait_line(lambda line: line.startswith("error: "), timeout=30)
        robust.wait_idle(self, server)

        self.fetch_small(server)
        with harnow.connect(server.port, 60) as sock:
            sock.sendall(b"GET /big.bin HTTP/1.1\r\n\r\n")
            status, headers, body = harnow.split_reply(harnow.read_all(sock, 60))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertIn("Content-Length: %d" % BIG, headers)
        self.assertEqual(len(body), BIG)
        self.assertEqual(body.count(0), BIG)
        robust.wait_idle(self, server)

    @robust.counts_threads
    def test_running_out_of_descriptors_does_not_stop_the_server(self):
        server = self.start(prlimit=("--nofile=64",))
        self.fetch_small(server)

        clients = robust.connect_many(server.port, 150, b"GET /small.txt HTTP/1.1\r\n")
        try:
            server.wait_line(lambda line: line.startswith("error in accept: "), timeout=30)
            time.sleep(1)
            self.assertIsNone(server.process.poll(), "server exited: %r" % server.lines[-10:])
        finally:
            for sock in clients:
                sock.close()

        robust.wait_idle(self, server, timeout=60)
        for _ in range(5):
            self.fetch_small(server)
        status, _, body = harnow.split_reply(server.get("/"))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertIn(b'<a href="/page.html">', body)
        self.assertIsNone(server.process.poll())

    def test_a_terminal_paused_with_ctrl_s_does_not_stop_the_server(self):
        master, terminal = pty.openpty()
        process = subprocess.Popen(harnow.RUN, cwd=self.root, stdin=terminal,
                                   stdout=terminal, stderr=terminal, start_new_session=True)
        try:
            shown = ""

            def read_until(text):
                nonlocal shown
                deadline = time.monotonic() + 10
                while text not in shown:
                    self.assertLess(time.monotonic(), deadline, "console: %r" % shown[-300:])
                    if select.select([master], [], [], 0.1)[0]:
                        shown += os.read(master, 65536).decode("utf-8", "surrogateescape")

            read_until(harnow.READY_PREFIX)
            robust.wait_until(lambda: harnow.listening(80), 10, "the server to listen")
            os.write(master, b"\x13")  # Ctrl+S
            for _ in range(50):
                self.assertEqual(harnow.request(b"GET /missing.html HTTP/1.1\r\n\r\n", 80),
                                 robust.NOT_FOUND)
            # The terminal belongs to the shell too: it must be left blocking.
            self.assertFalse(fcntl.fcntl(terminal, fcntl.F_GETFL) & os.O_NONBLOCK)
            os.write(master, b"\x11")  # Ctrl+Q
            harnow.request(b"GET /small.txt HTTP/1.1\r\n\r\n", 80)
            read_until('"small.txt" (11) application/octet-stream\r\n')
            # After the four start-up lines: the lines waited, none was lost.
            *served, _, _ = shown.split("\r\n")[4:]
            self.assertEqual(served, ['error: file not found for "missing.html"'] * 50)
        finally:
            process.kill()
            process.wait(timeout=10)
            os.close(master)
            os.close(terminal)
