"""Clients that stop reading a large reply, or read it too slowly, are reset once a piece of it
has not gone out whole within the write limit (60 s from its first send), whatever their
receive buffer, while the server goes on serving others."""
import concurrent.futures
import errno
import os
import socket
import time

import harnow
import robust

WRITE_LIMIT = 60
# Room for a loaded machine or an emulator. A limit that does not hold is missed by far more:
# each part of a piece that the kernel sent by itself used to wait out a limit of its own.
MARGIN = 15
# Receive buffer, and bytes read every so many seconds (0: none at all).
READERS = [(1024, 0, 0), (8192, 1, 1), (16384, 2048, 40), (65536, 0, 0)]


def reset_after(port, buffer, chunk, every):
    """Seconds from the request for the large file to the reset of its connection; None when
    none came within the limit and the margin, or the reply ended cleanly."""
    with socket.socket() as sock:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, buffer)
        sock.settimeout(10)
        sock.connect(("127.0.0.1", port))
        sock.sendall(b"GET /large.bin HTTP/1.1\r\n\r\n")
        asked = time.monotonic()
        read_at = asked + every
        while time.monotonic() - asked < WRITE_LIMIT + MARGIN:
            time.sleep(0.2)
            try:
                # A reset shows here whether or not this client reads.
                if sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == errno.ECONNRESET:
                    return time.monotonic() - asked
                if chunk and time.monotonic() >= read_at:
                    read_at += every
                    if not sock.recv(chunk):
                        return None
            except ConnectionResetError:
                return time.monotonic() - asked
        return None


class SlowReader(harnow.ServerTestCase):
    def test_slow_and_stalled_readers_are_reset_at_the_write_limit(self):
        with open(os.path.join(self.root, "large.bin"), "wb") as f:
            f.truncate(256 << 20)
        self.write("page.html", b"<p>page</p>\n")
        server = self.start()
        idle_descriptors = robust.descriptors(server)
        with concurrent.futures.ThreadPoolExecutor(len(READERS)) as pool:
            readers = [pool.submit(reset_after, server.port, *reader) for reader in READERS]
            for _ in READERS:
                server.wait_line('"large.bin" (268435456) application/octet-stream')
            # Others are served meanwhile.
            status, _, body = harnow.split_reply(server.get("/page.html"))
            self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
            for reader, after in zip(READERS, [reader.result() for reader in readers]):
                # Never before the limit: the reply began only after the request was sent.
                self.assertTrue(after and WRITE_LIMIT - 1 < after, (reader, after))
        if not harnow.EMULATOR:  # qemu runs threads of its own
            robust.wait_idle(self, server)
        robust.wait_until(lambda: robust.descriptors(server) <= idle_descriptors, 10,
                          "the connections' descriptors to be closed")
        self.assertEqual(server.lines.count("error: network error"), len(READERS))
        status, _, body = harnow.split_reply(server.get("/page.html"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
