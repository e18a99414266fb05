"""The package's unit under a real systemd: started, serving, restarted with a download in
flight, its settings as systemd applies them, stopped.

Run by test.sh's systemd stage through scripts/with-container.sh, in the network namespace of a
booted Debian 12 container: HARNOW_CONTAINER is its PID 1, HARNOW_DEB the package to install.
This machine's cgroups cannot enforce a task limit in there: settings are checked, not their
effect.
"""
import os
import subprocess
import threading
import time
import unittest

import harnow
from replies import NOT_FOUND, begun, file_reply, listing, read_to_end

CONTAINER = os.environ.get("HARNOW_CONTAINER", "")
DEB = os.environ.get("HARNOW_DEB", "")
PAGE = b"<p>under systemd</p>\n"
BIG = 64 << 20
# One connection thread each and no cap but the system's; a throw-away user that may bind
# port 80 and nothing more.
SETTINGS = {"TasksMax": "infinity", "DynamicUser": "yes", "NoNewPrivileges": "yes",
            "AmbientCapabilities": "cap_net_bind_service",
            "CapabilityBoundingSet": "cap_net_bind_service", "WorkingDirectory": "/srv/harnow"}
REQUESTS = [  # request, the reply, its console line
    (b"GET /index.html HTTP/1.1\r\n\r\n", file_reply(PAGE, "text/html"),
     '"index.html" (21) text/html'),
    (b"GET /index.html HTTP/1.1\r\nRange: bytes=3-7\r\n\r\n",
     file_reply(PAGE[3:8], "text/html", len(PAGE), 3, 7), '"index.html" (3-7/21) text/html'),
    (b"GET / HTTP/1.1\r\n\r\n", listing("/srv/harnow", "harnow", [("docs", "docs"),
                                                                  ("index.html", "index.html")]),
     'listing html files in "/srv/harnow"'),
]


def inside(*command, data=None):
    """Runs a command in the container; its output. Fails the test if it fails."""
    done = subprocess.run(["nsenter", "-t", CONTAINER, "-m", "-u", "-i", "-n", "-p", "-C", "-r",
                           "-w", *command], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=120)
    if done.returncode != 0:
        raise AssertionError("%s: status %d\n%s" % (" ".join(command), done.returncode,
                                                    done.stdout.decode(errors="replace")))
    return done.stdout.decode()


@unittest.skipUnless(CONTAINER and DEB, "run by test.sh's systemd stage")
class UnderSystemd(unittest.TestCase):
    def wait_listening(self):
        deadline = time.monotonic() + 10
        while not harnow.listening(80):
            self.assertLess(time.monotonic(), deadline, inside("journalctl", "-u", "harnow"))
            time.sleep(0.05)

    def test_the_unit_serves_restarts_without_a_silent_cut_and_stops(self):
        with open(DEB, "rb") as package:  # the container's /tmp is a tmpfs of its own
            inside("sh", "-c", "cat >/root/harnow.deb", data=package.read())
        inside("dpkg", "-i", "/root/harnow.deb")
        inside("sh", "-c", 'mkdir -p /srv/harnow/docs && printf "%s" "$0" >/srv/harnow/index.html'
               ' && truncate -s "$1" /srv/harnow/big.bin', PAGE.decode(), str(BIG))
        inside("systemctl", "start", "harnow")
        self.wait_listening()
        for request, reply, _ in REQUESTS:
            self.assertEqual(harnow.request(request, 80), reply, request)

        # A download held in flight and requests up to the stop: the download ends whole or
        # with an error, never cut short cleanly, and every request answered has its line.
        download, first = begun(80, b"GET /big.bin HTTP/1.1\r\n\r\n")
        restart = threading.Thread(target=inside, args=("systemctl", "restart", "harnow"))
        restart.start()
        answered = []
        for number in range(3000):
            if not restart.is_alive():
                break
            try:
                if harnow.request(b"GET /before-%d HTTP/1.1\r\n\r\n" % number, 80) == NOT_FOUND:
                    answered.append('error: file not found for "before-%d"' % number)
            except OSError:
                pass  # refused or reset while the server stops
        restart.join(timeout=60)
        with download:
            reply, end = read_to_end(download, 60, [first])
        self.assertTrue(end == "reset" or len(reply.partition(b"\r\n\r\n")[2]) == BIG,
                        "cut cleanly at %d bytes" % len(reply))
        self.wait_listening()  # systemd has handed the new process to harnow

        wanted = [line for _, _, line in REQUESTS] + answered
        deadline = time.monotonic() + 10
        while True:
            journal = inside("journalctl", "-u", "harnow", "-o", "cat", "--no-pager").splitlines()
            missing = [line for line in wanted if line not in journal]
            if not missing or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        self.assertEqual(missing, [], "of %d; the journal ends %r" % (len(wanted), journal[-5:]))

        # What the process runs with under these is test_service.py's.
        shown = inside("systemctl", "show", "harnow", "-p", ",".join(SETTINGS))
        self.assertEqual(dict(line.split("=", 1) for line in shown.splitlines()), SETTINGS)
        self.assertEqual(harnow.request(REQUESTS[0][0], 80), REQUESTS[0][1])

        inside("systemctl", "stop", "harnow")
        self.assertEqual(inside("systemctl", "show", "harnow", "-p", "ActiveState"),
                         "ActiveState=inactive\n")
        self.assertFalse(harnow.listening(80))
