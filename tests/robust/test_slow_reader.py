"""A client that takes one byte a second of a large reply is dropped after the write limit
(60 s for a piece of the reply to go out), while the server goes on serving others."""
import os
import socket
import threading
import time

import harnow
import robust

WRITE_LIMIT = 60


@robust.counts_threads
class SlowReader(harnow.ServerTestCase):
    def test_a_stalled_reader_is_dropped_after_the_write_limit(self):
        with open(os.path.join(self.root, "large.bin"), "wb") as f:
            f.truncate(256 << 20)
        self.write("page.html", b"<p>page</p>\n")
        server = self.start()
        idle_descriptors = robust.descriptors(server)

        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        # A small receive buffer fills at once, so the server's sends block soon.
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        sock.settimeout(10)
        sock.connect(("127.0.0.1", server.port))
        sock.sendall(b"GET /large.bin HTTP/1.1\r\n\r\n")
        asked = time.monotonic()
        stop = threading.Event()

        def trickle():
            # One byte a second until told to stop or the connection ends; bounded.
            for _ in range(300):
                if stop.wait(1):
                    return
                try:
                    if not sock.recv(1):
                        return
                except OSError:
                    return

        reader = threading.Thread(target=trickle, daemon=True)
        reader.start()
        try:
            server.wait_line('"large.bin" (268435456) application/octet-stream', timeout=10)
            # Others are served meanwhile.
            status, _, body = harnow.split_reply(server.get("/page.html"))
            self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))

            # The piece that stalls has the limit from its first send, however many bytes the
            # trickle lets through meanwhile.
            server.wait_line(lambda line: line.startswith("error: "), timeout=WRITE_LIMIT + 60)
            # Never before the limit: the reply began only after the request was sent.
            self.assertGreater(time.monotonic() - asked, WRITE_LIMIT - 1)
            robust.wait_idle(self, server)
            robust.wait_until(lambda: robust.descriptors(server) <= idle_descriptors, 10,
                              "the connection's descriptor to be closed")
        finally:
            stop.set()
            reader.join(timeout=5)
            sock.close()
        status, _, body = harnow.split_reply(server.get("/page.html"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
