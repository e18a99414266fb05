"""A thousand idle connections: other clients are still served, and the idle ones are
dropped once they have sent nothing for the idle limit (20 s)."""
import concurrent.futures
import os
import selectors
import socket
import time

import harnow
import robust

IDLE_CONNECTIONS = 1000
IDLE_LIMIT = 20


@robust.counts_threads
class IdleConnections(harnow.ServerTestCase):
    def test_idle_connections_neither_block_others_nor_stay_for_ever(self):
        robust.raise_descriptor_limit(IDLE_CONNECTIONS + 200)
        data = os.urandom(1 << 20)
        self.write("data.bin", data)
        self.write("page.html", b"<p>page</p>\n")
        server = self.start(prlimit=("--nofile=%d" % (IDLE_CONNECTIONS + 200),))
        idle_threads = robust.threads(server)

        began = time.monotonic()
        idle = []
        try:
            # The listen backlog is 5: wait for each connection to be taken by a thread
            # before the next, or the backlog overflows and connects stall for seconds.
            for count in range(1, IDLE_CONNECTIONS + 1):
                idle.append(harnow.connect(server.port, 10))
                robust.wait_until(lambda: robust.threads(server) >= idle_threads + count, 10,
                                  "a thread for idle connection %d" % count, pause=0.001)

            def fetch(number):
                if number % 2:
                    status, _, body = harnow.split_reply(server.get("/data.bin", timeout=30))
                    self.assertEqual((status, body == data), ("HTTP/1.1 200 OK", True))
                else:
                    status, _, body = harnow.split_reply(server.get("/page.html", timeout=30))
                    self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))

            with concurrent.futures.ThreadPoolExecutor(10) as pool:
                list(pool.map(fetch, range(100)))

            # None of them can have reached the limit yet: the server's clock for each started
            # after this test began connecting.
            if time.monotonic() - began < IDLE_LIMIT - 2:
                for sock in idle:
                    sock.setblocking(False)
                    with self.assertRaises(BlockingIOError):
                        sock.recv(1)

            # Every idle connection is ended by the server, each within a bounded time.
            dropped = 0
            with selectors.DefaultSelector() as selector:
                for sock in idle:
                    selector.register(sock, selectors.EVENT_READ)
                deadline = began + IDLE_LIMIT + 60
                while selector.get_map() and time.monotonic() < deadline:
                    for key, _ in selector.select(timeout=1):
                        selector.unregister(key.fileobj)
                        try:
                            self.assertEqual(key.fileobj.recv(1), b"")
                        except ConnectionResetError:
                            pass
                        dropped += 1
            self.assertEqual(dropped, IDLE_CONNECTIONS)
        finally:
            for sock in idle:
                sock.close()

        robust.wait_idle(self, server)
        status, _, body = harnow.split_reply(server.get("/page.html"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
