"""Memory runs out: under an address-space limit, connections that fill it with thread stacks
and long request lines cost only themselves, and the server serves normally once they end."""
import os
import time
import unittest

import harnow
import robust

CONNECTIONS = 300
# Room beyond the idle server for about two hundred connection threads (256 KiB of stack
# each), so that 300 exhaust it. More than the 40 MiB of stacks that the C library keeps from
# ended threads for new ones: once the connections end, the cache must not hold all of it.
HEADROOM = 56 << 20
# One round ends the old fault's process only about every second time: three of them.
ROUNDS = 3
# A request line still being read holds up to 8 KiB of heap in its thread.
PARTIAL_LINE = b"GET /" + b"a" * 8000


def vm_size(server):
    with open("/proc/%d/status" % server.process.pid) as status:
        return int(next(l for l in status if l.startswith("VmSize:")).split()[1]) << 10


# A sanitizer reserves terabytes of shadow memory: it cannot start under such a limit.
@unittest.skipIf(os.environ.get("HARNOW_SANITIZE"), "sanitizer builds cannot run under --as")
@harnow.native_only("qemu's own code and data share the limited address space")
class OutOfMemory(harnow.ServerTestCase):
    def test_running_out_of_memory_does_not_stop_the_server(self):
        self.write("page.html", b"<p>page</p>\n")
        probe = self.start()
        limit = vm_size(probe) + HEADROOM
        probe.stop()
        server = self.start(prlimit=("--as=%d" % limit,))

        for _ in range(ROUNDS):
            clients = robust.connect_many(server.port, CONNECTIONS, PARTIAL_LINE)
            try:
                server.wait_line(lambda line: line.startswith("error"), timeout=60)
                time.sleep(1)
                self.assertIsNone(server.process.poll(), "server ended: %r" % server.lines[-5:])
            finally:
                for sock in clients:
                    sock.close()
            robust.wait_idle(self, server, timeout=60)

        status, _, body = harnow.split_reply(server.get("/page.html"))
        self.assertEqual((status, body), ("HTTP/1.1 200 OK", b"<p>page</p>\n"))
        status, _, body = harnow.split_reply(server.get("/"))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertIn(b'<a href="/page.html">', body)
        self.assertIsNone(server.process.poll())
