import os
import signal

import clients
import harnow
from clients import run

READY = "now open a browser and go to "


def children_of(pid):
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    # The parent pid is the second field after the parenthesised name.
                    if int(f.read().rsplit(")", 1)[1].split()[1]) == pid:
                        found.append(int(entry))
            except (OSError, IndexError, ValueError):
                pass
    return found


class AddressLine(clients.ClientTestCase):
    def setUp(self):
        harnow.require_tools(self, "strace")  # slows listen() down
        super().setUp()

    def test_a_client_that_acts_on_the_address_line_at_once_is_served(self):
        # Scripts (and impatient people) open the printed address as soon as it appears. With
        # listen() slowed down by a second, a line printed before listen() sends them to a
        # port that still refuses connections.
        self.write("index.html", "<p>hi</p>")
        slow_listen = ["strace", "-o", "/dev/null", "-e", "trace=listen",
                       "-e", "inject=listen:delay_enter=1000000"]
        server = self.start(ready=False, wrapper=slow_listen)
        try:
            address = server.wait_line(lambda line: line.startswith(READY), 20)[len(READY):]
            result = run(["curl", "--silent", "--show-error", "--max-time", "10",
                          "--write-out", "%{http_code}", "-o", "/dev/null",
                          address + "/index.html"])
        finally:
            # Killing strace would only detach the server: end the server, strace follows.
            for pid in children_of(server.process.pid):
                os.kill(pid, signal.SIGKILL)
            server.wait_exit(10)
        self.assertEqual((result.returncode, result.stdout), (0, b"200"),
                         result.stderr.decode())
