"""The package's unit under a real systemd: started, serving, restarted with a download in
flight, its settings as systemd applies them, stopped.

Run by test.sh's systemd stage through scripts/with-container.sh, in the network namespace of a
booted Debian 12 container: HARNOW_CONTAINER is its PID 1, HARNOW_DEB the package to install.
This machine's cgroups cannot enforce a task limit in there: settings are checked, not their
effect.
"""
import os
import socket
import subprocess
import threading
import time
import unittest

import harnow
from replies import NOT_FOUND, file_reply, listing

CONTAINER = os.environ.get("HARNOW_CONTAINER", "")
DEB = os.environ.get("HARNOW_DEB", "")
PAGE = b"<p>under systemd</p>\n"
BIG = 64 << 20
# One connection thread each and no cap but the system's; a throw-away user that may bind
# port 80 and nothing more.
SETTINGS = {"TasksMax": "infinity", "DynamicUser": "yes", "NoNewPrivileges": "yes",
            "AmbientCapabilities": "cap_net_bind_service",
            "CapabilityBoundingSet": "cap_net_bind_service", "WorkingDirectory": "/srv/harnow"}
REQUESTS = [  # request path and header lines, the reply, its console line
    ("/index.html", (), file_reply(PAGE, "text/html"), '"index.html" (21) text/html'),
    ("/index.html", ("Range: bytes=3-7",), file_reply(PAGE[3:8], "text/html", len(PAGE), 3, 7),
     '"index.html" (3-7/21) text/html'),
    ("/", (), listing("/srv/harnow", "harnow", [("docs", "docs"), ("index.html", "index.html")]),
     'listing html files in "/srv/harnow"'),
]


def inside(*command, data=None, check=True):
    """Runs a command in the container; its output. Fails the test if it fails."""
    done = subprocess.run(["nsenter", "-t", CONTAINER, "-m", "-u", "-i", "-n", "-p", "-C", "-r",
                           "-w", *command], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=120)
    if check and done.returncode != 0:
        raise AssertionError("%s: status %d\n%s" % (" ".join(command), done.returncode,
                                                    done.stdout.decode(errors="replace")))
    return done.stdout.decode()


def get(path, headers=()):
    text = "GET %s HTTP/1.1\r\n%s\r\n" % (path, "".join(h + "\r\n" for h in headers))
    return harnow.request(text.encode(), 80)


def slow_download(sock, ended):
    """Reads a reply 64 KiB every 10 ms; ended gets (bytes after the head, how it ended)."""
    data, how = b"", "close"
    deadline = time.monotonic() + 60
    try:
        while time.monotonic() < deadline:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
            time.sleep(0.01)
        else:
            how = "timeout"
    except OSError as error:
        how = repr(error)
    ended.append((data.partition(b"\r\n\r\n")[2], how))


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
        for path, headers, reply, _ in REQUESTS:
            self.assertEqual(get(path, headers), reply, path)

        # A download in flight and requests up to the stop: the download ends whole or with
        # an error, never cut short cleanly, and every request answered has its console line.
        download = harnow.connect(80, 30)
        download.sendall(b"GET /big.bin HTTP/1.1\r\n\r\n")
        ended = []
        reader = threading.Thread(target=slow_download, args=(download, ended))
        reader.start()
        restart = threading.Thread(target=inside, args=("systemctl", "restart", "harnow"))
        restart.start()
        answered = []
        for number in range(3000):
            if not restart.is_alive():
                break
            try:
                if get("/before-restart-%d" % number) == NOT_FOUND:
                    answered.append('error: file not found for "before-restart-%d"' % number)
            except OSError:
                pass  # refused or reset while the server stops
        restart.join(timeout=60)
        self.wait_listening()  # systemd has handed the new process to harnow
        reader.join(timeout=70)
        download.close()
        body, how = ended[0]
        self.assertTrue(how != "close" or len(body) == BIG, "cut cleanly at %d bytes" % len(body))

        wanted = [line for _, _, _, line in REQUESTS] + answered
        deadline = time.monotonic() + 10
        while True:
            journal = inside("journalctl", "-u", "harnow", "-o", "cat", "--no-pager").splitlines()
            missing = [line for line in wanted if line not in journal]
            if not missing or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        self.assertEqual(missing, [], "of %d; the journal ends %r" % (len(wanted), journal[-5:]))

        shown = inside("systemctl", "show", "harnow", "-p", ",".join(SETTINGS) + ",MainPID")
        properties = dict(line.split("=", 1) for line in shown.splitlines())
        self.assertEqual({name: properties[name] for name in SETTINGS}, SETTINGS)
        status = dict(line.split(":\t", 1) for line in
                      inside("cat", "/proc/%s/status" % properties["MainPID"]).splitlines())
        uid = int(status["Uid"].split()[0])
        self.assertTrue(61184 <= uid <= 65519, "not a dynamic user: %d" % uid)
        for name in ["CapEff", "CapPrm", "CapAmb", "CapBnd"]:
            self.assertEqual(int(status[name], 16), 1 << 10, name)  # CAP_NET_BIND_SERVICE
        self.assertEqual(get("/index.html"), REQUESTS[0][2])

        inside("systemctl", "stop", "harnow")
        self.assertEqual(inside("systemctl", "is-active", "harnow", check=False), "inactive\n")
        self.assertFalse(harnow.listening(80))
