"""memcheck on the real executable through a short session of requests: no invalid access,
and nothing definitely or indirectly lost when the server is stopped."""
import concurrent.futures
import os
import signal
import socket
import tempfile

import harnow
import robust


@harnow.native_only("valgrind runs only this machine's programs")
class Memcheck(harnow.ServerTestCase):
    def setUp(self):
        harnow.require_tools(self, "valgrind")
        super().setUp()
        self.log = tempfile.NamedTemporaryFile(prefix="harnow-memcheck-", suffix=".log",
                                               delete=False).name

    def tearDown(self):
        super().tearDown()
        os.unlink(self.log)

    def test_a_session_of_requests_leaks_nothing(self):
        self.write("page.html", b"<p>page</p>\n" * 50)
        self.write("empty.txt", b"")
        self.write("docs/a b.html", b"docs")
        with open(os.path.join(self.root, "big.bin"), "wb") as f:
            f.truncate(8 << 20)
        server = self.start(ready=False, wrapper=(
            "valgrind", "--leak-check=full", "--show-leak-kinds=definite,indirect",
            "--errors-for-leak-kinds=definite,indirect", "--log-file=" + self.log))
        server.wait_ready(timeout=60)
        port = server.port

        requests = [
            (b"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK"),
            (b"GET /docs/ HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK"),
            (b"GET /page.html HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK"),
            (b"GET /page.html HTTP/1.1\r\nRange: bytes=10-19\r\n\r\n", "HTTP/1.1 206 Partial Content"),
            (b"GET /page.html HTTP/1.1\r\nRange: bytes=-5\r\n\r\n", "HTTP/1.1 206 Partial Content"),
            (b"GET /empty.txt HTTP/1.1\r\nRange: bytes=0-\r\n\r\n", "HTTP/1.1 416 Range Not Satisfiable"),
            (b"GET /docs/a%20b.html HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK"),
            (b"GET /missing.html HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"),
            (b"GET /../etc/passwd HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"),
            (b"GET /a%00b HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found"),
            (b"HEAD / HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK"),
            (b"POST / HTTP/1.1\r\n\r\n", None),
            (b"GET /" + b"x" * 20000 + b" HTTP/1.1\r\n\r\n", None),
            (b"GET /page.html HTTP/1.1\r\n" + b"A: b\r\n" * 120 + b"\r\n", None),
            (b"\x00\xff" * 3000, None),
            (b"GET /page.html HTTP/1.1\r\nHost", None),
        ]
        for data, wanted in requests:
            reply = robust.exchange(port, data, timeout=60)
            self.assertEqual(robust.check_reply(self, reply, data), wanted)
        reply = robust.exchange(port, b"GET /page.html HTTP/1.1\r\n\r\n", chunk=1, timeout=60)
        self.assertEqual(robust.check_reply(self, reply), "HTTP/1.1 200 OK")

        # Several at once, so connection threads overlap.
        with concurrent.futures.ThreadPoolExecutor(8) as pool:
            replies = list(pool.map(lambda data: robust.exchange(port, data, timeout=60),
                                    [data for data, _ in requests[:10]]))
        self.assertEqual([robust.check_reply(self, r) for r in replies],
                         [wanted for _, wanted in requests[:10]])

        # A client that goes away mid-download, and one that never says anything.
        sock = harnow.connect(port, 60)
        sock.sendall(b"GET /big.bin HTTP/1.1\r\n\r\n")
        self.assertTrue(sock.recv(65536))
        robust.abort(sock)
        harnow.connect(port, 60).close()

        robust.wait_idle(self, server, timeout=60)
        server.process.send_signal(signal.SIGTERM)
        server.wait_exit(timeout=60)
        with open(self.log) as f:
            report = f.read()
        self.assertIn("LEAK SUMMARY", report, "memcheck did not check for leaks")
        self.assertRegex(report, r"definitely lost: 0 bytes")
        self.assertRegex(report, r"indirectly lost: 0 bytes")
        self.assertRegex(report, r"ERROR SUMMARY: 0 errors", report)
