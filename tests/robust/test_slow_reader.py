"""A download is cut off with a reset once less than 4 KiB of it has left within the write limit
(60 s): clients that read nothing, or a few bytes a second, are reset a minute after they stall,
while slow but steady ones keep theirs, and the server goes on serving others."""
import socket
import time

import harnow
import robust

WRITE_LIMIT = 60
# Room for a loaded machine or an emulator. A limit that does not hold is missed by far more.
MARGIN = 15
# The steady readers must still be reading by then.
KEPT = 2 * WRITE_LIMIT
# Bytes read a second (0: none at all) and clients; those that read less than 4 KiB a minute
# are reset.
READERS = [(0, 200), (1, 1), (30, 1), (1024, 1), (10240, 1)]
TCP_ESTABLISHED, TCP_CLOSE = 1, 7  # the states of a TCP socket; a reset ends it in the second


def ask(port, rate):
    sock = socket.socket()
    # As over Ethernet: loopback's 64 KiB segments would keep a slow reader's window shut until
    # 64 KiB of its buffer were free, which hides its progress from the server for a minute.
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, 1448)
    sock.connect(("127.0.0.1", port))
    sock.sendall(b"GET /large.bin HTTP/1.1\r\n\r\n")
    return {"sock": sock, "rate": rate, "reset": rate * WRITE_LIMIT < 4096, "ended": None,
            "read": 0}


class SlowReader(harnow.ServerTestCase):
    def test_downloads_that_stall_are_reset_and_slow_steady_ones_kept(self):
        with open(self.root + "/large.bin", "wb") as f:
            f.truncate(64 << 20)
        self.write("page.html", b"<p>page</p>\n")
        server = self.start()
        idle_descriptors = robust.descriptors(server)
        asked = time.monotonic()
        clients = [ask(server.port, rate) for rate, count in READERS for _ in range(count)]
        for _ in clients:
            server.wait_line('"large.bin" (67108864) application/octet-stream')
        # Others are served meanwhile.
        status, _, body = harnow.split_reply(server.get("/page.html"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
        while time.monotonic() - asked < KEPT:
            time.sleep(1)
            for client in (c for c in clients if c["ended"] is None):
                # The socket's state, not a read: a reset client still reads what it holds.
                sock = client["sock"]
                client["state"] = sock.getsockopt(socket.IPPROTO_TCP, socket.TCP_INFO, 1)[0]
                if client["state"] != TCP_ESTABLISHED:
                    client["ended"] = time.monotonic() - asked
                elif client["rate"]:
                    client["read"] += len(sock.recv(client["rate"], socket.MSG_DONTWAIT))
        for client in clients:
            context = (client["rate"], client["ended"], client["read"])
            if client["reset"]:
                self.assertEqual(client["state"], TCP_CLOSE, context)
                self.assertTrue(WRITE_LIMIT - 1 < client["ended"] < WRITE_LIMIT + MARGIN, context)
            else:
                self.assertIsNone(client["ended"], context)
                self.assertGreater(client["read"], (KEPT - 5) * client["rate"], context)
        if not harnow.EMULATOR:  # qemu runs threads of its own
            self.assertLessEqual(robust.threads(server), robust.IDLE_THREADS + 2)
        for client in clients:
            robust.abort(client["sock"])
        if not harnow.EMULATOR:
            robust.wait_idle(self, server)
        robust.wait_until(lambda: robust.descriptors(server) <= idle_descriptors, 10,
                          "the connections' descriptors to be closed")
        resets = [client for client in clients if client["reset"]]
        self.assertEqual(server.lines.count("error: network error"), len(resets))
        status, _, body = harnow.split_reply(server.get("/page.html"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
