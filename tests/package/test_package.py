"""The Debian package: lintian, a plain install, and install, serve and remove on this machine.

Run by test.sh's package stage in a private network namespace, as root, with HARNOW_DEB naming
the package and HARNOW_BINARY=/usr/bin/harnow. It refuses to run where harnow is installed.
"""
import os
import shutil
import subprocess
import tempfile
import unittest

import harnow
from replies import listing

DEB = os.environ.get("HARNOW_DEB", "")
TREE = os.path.dirname(DEB)
UNIT = "/usr/lib/systemd/system/harnow.service"


def run(*command):
    """The command's output (stdout and stderr); fails the test unless it succeeds."""
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          stdin=subprocess.DEVNULL, timeout=300)
    if done.returncode != 0:
        raise AssertionError("%s: status %d\n%s" % (" ".join(command), done.returncode,
                                                    done.stdout.decode(errors="replace")))
    return done.stdout.decode()


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
            "CHANGELOG.md", "LICENSE", "README.md"]] + ["share/man/man1/harnow.1"])

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
