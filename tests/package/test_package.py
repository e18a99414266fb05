"""The Debian package: lintian, a plain install, and install, serve and remove on this machine;
and its unit under a real systemd: started, serving, restarted with a download in flight, its
settings as systemd applies them, stopped.

Package: run by test.sh's package stage in a private network namespace, as root, with
HARNOW_DEB naming the package and HARNOW_BINARY=/usr/bin/harnow. It refuses to run where
harnow is installed. UnderSystemd: run by test.sh's systemd stage through
scripts/with-container.sh, in the network namespace of a booted Debian 12 container whose
PID 1 is HARNOW_CONTAINER. This machine's cgroups cannot enforce a task limit in there:
settings are checked, not their effect. Image: run by test.sh's static stage in a private
network namespace, with HARNOW_IMAGE naming the container image's archive.
"""
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest

import harnow
from harnow import begun, read_to_end
from replies import NOT_FOUND, file_reply, listing

DEB = os.environ.get("HARNOW_DEB", "")
TREE = os.path.dirname(DEB)
UNIT = "/usr/lib/systemd/system/harnow.service"
CONTAINER = os.environ.get("HARNOW_CONTAINER", "")
PAGE = b"<p>under systemd</p>\n"
BIG = 64 << 20
# One connection thread each and no cap but the system's; a throw-away user that may bind
# port 80 and nothing more.
SETTINGS = {"TasksMax": "infinity", "DynamicUser": "yes", "NoNewPrivileges": "yes",
            "AmbientCapabilities": "cap_net_bind_service",
            "CapabilityBoundingSet": "cap_net_bind_service", "WorkingDirectory": "/srv/harnow"}
IMAGE = os.environ.get("HARNOW_IMAGE", "")


def requests(served):
    """Request, the reply, its console line: a file, a range and the listing of the folder
    served, which holds PAGE as index.html and the folder docs."""
    return [
        (b"GET /index.html HTTP/1.1\r\n\r\n", file_reply(PAGE, "text/html"),
         '"index.html" (21) text/html'),
        (b"GET /index.html HTTP/1.1\r\nRange: bytes=3-7\r\n\r\n",
         file_reply(PAGE[3:8], "text/html", len(PAGE), 3, 7), '"index.html" (3-7/21) text/html'),
        (b"GET / HTTP/1.1\r\n\r\n", listing(served, os.path.basename(served), [
            ("docs", "docs"), ("index.html", "index.html")]),
         'listing html files in "%s"' % served),
        (b"GET /missing HTTP/1.1\r\n\r\n", NOT_FOUND, 'error: file not found for "missing"'),
    ]


REQUESTS = requests("/srv/harnow")


def run(*command, data=None):
    """The command's output (stdout and stderr); fails the test unless it succeeds."""
    done = subprocess.run(command, input=data, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          stdin=None if data else subprocess.DEVNULL, timeout=300)
    if done.returncode != 0:
        raise AssertionError("%s: status %d\n%s" % (" ".join(command), done.returncode,
                                                    done.stdout.decode(errors="replace")))
    return done.stdout.decode()


def inside(*command, data=None):
    """run() in the container."""
    return run("nsenter", "-t", CONTAINER, "-m", "-u", "-i", "-n", "-p", "-C", "-r", "-w",
               *command, data=data)


def installed():
    return subprocess.run(["dpkg-query", "-W", "harnow"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


@unittest.skipUnless(DEB, "HARNOW_DEB names no package")
class Package(unittest.TestCase):
    def test_lintian_finds_no_error_and_no_warning_left_unexplained(self):
        # Warnings that stay are overridden, with the reason, in packaging/lintian-overrides.
        run("lintian", "--fail-on", "error,warning", DEB)

    def test_a_plain_install_has_the_program_its_manual_and_the_readme(self):
        prefix = tempfile.mkdtemp(prefix="harnow-prefix-")
        self.addCleanup(shutil.rmtree, prefix)
        run("cmake", "--install", TREE, "--prefix", prefix)
        found = sorted(os.path.relpath(os.path.join(top, name), prefix)
                       for top, _, names in os.walk(prefix) for name in names)
        self.assertEqual(found, ["bin/harnow"] + ["share/doc/harnow/" + name for name in [
            "CHANGELOG.md", "LICENSE", "README.md", "docs/architecture.md", "docs/limits.md",
            "docs/listing.png", "docs/releasing.md", "docs/serving.md", "docs/testing.md",
            "docs/windows.md"]] + ["share/man/man1/harnow.1"])

    def test_installs_serves_and_removes_without_a_trace(self):
        self.assertFalse(installed(), "harnow is installed here: remove it (dpkg -r harnow) first")
        paths = [line.split()[-1][1:] for line in run("dpkg-deb", "-c", DEB).splitlines()]
        there_before = [path for path in paths if os.path.lexists(path)]
        run("apt-get", "install", "-y", "-qq", "-o", "DPkg::Lock::Timeout=120", DEB)
        self.addCleanup(lambda: installed() and run("dpkg", "-r", "harnow"))

        version, depends = run("dpkg-query", "-W", "-f", "${Version}\n${Depends}",
                               "harnow").split("\n")
        # Boost and the C++ runtime are linked in.
        self.assertRegex(depends, r"^libc6 \(>= [0-9.]+\)$")
        # The version comes from one place: the manual page and the changelog show the package's.
        page = run("man", "-P", "cat", "harnow")
        self.assertIn("Harnow %s" % version, page.splitlines()[-1])
        changelog = run("zcat", "/usr/share/doc/harnow/changelog.gz")
        self.assertTrue(changelog.startswith("harnow (%s) " % version), changelog)
        warnings = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l",
                                   run("man", "-w", "harnow").strip()],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.assertEqual(warnings.stderr.decode(), "")

        # Installed, not enabled. (Without systemd running, systemd-analyze cannot start man to
        # check Documentation=; the manual page is checked above.)
        self.assertEqual(subprocess.run(["systemctl", "is-enabled", "harnow"],
                                        stdout=subprocess.PIPE).stdout, b"disabled\n")
        self.assertEqual(run("systemd-analyze", "verify", "--man=no", UNIT), "")
        # An exposure of 1.4 of 10 when written; a weakened unit scores higher.
        run("systemd-analyze", "security", "--offline=true", "--threshold=14", UNIT)

        site = tempfile.mkdtemp(prefix="harnow-installed-")
        self.addCleanup(shutil.rmtree, site)
        with open(os.path.join(site, "index.html"), "wb") as page_file:
            page_file.write(b"<p>installed</p>")
        self.assertEqual(harnow.BINARY, "/usr/bin/harnow")
        server = harnow.Server(site)
        self.addCleanup(server.stop)
        server.wait_ready()
        address = "http://localhost:%d/" % server.port
        self.assertEqual(run("curl", "-sS", "--max-time", "10", address + "index.html"),
                         "<p>installed</p>")
        _, _, body = harnow.split_reply(listing(site, os.path.basename(site),
                                                [("index.html", "index.html")]))
        self.assertEqual(run("curl", "-sS", "--max-time", "10", address), body.decode())
        server.stop()

        run("dpkg", "-r", "harnow")
        self.assertFalse(installed())
        self.assertEqual([path for path in paths if os.path.lexists(path)], there_before)


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


@unittest.skipUnless(IMAGE, "run by test.sh's static stage")
class Image(unittest.TestCase):
    def test_podman_runs_the_image_as_nobody_serving_a_read_only_folder_on_8080(self):
        store = tempfile.mkdtemp(prefix="harnow-podman-")
        self.addCleanup(shutil.rmtree, store)
        os.makedirs(os.path.join(store, "site/docs"))
        with open(os.path.join(store, "site/index.html"), "wb") as page:
            page.write(PAGE)
        podman = ["podman", "--root", store + "/storage", "--runroot", store + "/run",
                  "--storage-driver", "vfs"]
        image = run(*podman, "load", "-q", "-i", IMAGE).split()[-1]  # "Loaded image: NAME"
        # crun refuses this machine's cgroups, and podman's default limits exceed its own.
        run(*podman, "run", "-d", "--name", "harnow", "--runtime", "runc",
            "--ulimit", "nofile=4096:4096", "--ulimit", "nproc=4096:4096",
            "-v", store + "/site:/srv:ro", "-p", "8080:8080", image)
        self.addCleanup(run, *podman, "rm", "-f", "harnow")
        # Port 80 is refused to user 65534: the port published is 8080.
        lines = ["Harnow by https://harnow.example", "", 'serving directory "/srv"',
                 "not able to act as a server on port 80: access denied", "trying port 8080",
                 "now open a browser and go to http://localhost:8080"]
        self.assertEqual(self.console(podman, len(lines)), lines)
        for request, reply, line in requests("/srv"):
            self.assertEqual(harnow.request(request, 8080), reply, request)
            lines.append(line)
        self.assertEqual(self.console(podman, len(lines)), lines)

    def console(self, podman, count):
        """The container's first console lines, once there are that many (at most 10 s)."""
        deadline = time.monotonic() + 10
        while True:
            lines = run(*podman, "logs", "harnow").splitlines()
            if len(lines) >= count or time.monotonic() > deadline:
                return lines
            time.sleep(0.1)
