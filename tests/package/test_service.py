"""The server run the way harnow.service runs it, as far as a machine without systemd allows."""
import os

import harnow
from replies import file_reply, listing

UNIT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../packaging/harnow.service")
# A number from the range systemd hands dynamic users out of; it need not be in the user table.
DYNAMIC_USER = "61184"
NET_BIND_SERVICE = 1 << 10


def service_settings():
    """The [Service] section's settings: name to the list of its values, in order."""
    settings, section = {}, None
    with open(UNIT) as unit:
        for line in unit:
            line = line.strip()
            if line.startswith("["):
                section = line
            elif section == "[Service]" and "=" in line and not line.startswith("#"):
                name, value = line.split("=", 1)
                settings.setdefault(name, []).append(value)
    return settings


def capability_set(values):
    """setpriv's form of a capability list from the unit: only the capabilities named."""
    names = " ".join(values).split()
    return ",".join(["-all"] + ["+" + name.lower()[len("cap_"):] for name in names])


class AsTheUnitRunsIt(harnow.ServerTestCase):
    def test_holds_only_the_right_to_bind_port_80_and_serves_a_read_only_directory(self):
        unit = service_settings()
        self.assertEqual(unit["DynamicUser"], ["yes"])
        self.assertEqual(unit["NoNewPrivileges"], ["yes"])
        ambient = capability_set(unit["AmbientCapabilities"])
        user = ["setpriv", "--reuid", DYNAMIC_USER, "--regid", DYNAMIC_USER, "--clear-groups",
                "--inh-caps", ambient, "--ambient-caps", ambient,
                "--bounding-set", capability_set(unit["CapabilityBoundingSet"]),
                "--no-new-privs", "--"]
        # ProtectSystem=strict: the served files are on a read-only mount of the server's own.
        read_only = ["unshare", "--mount", "--", "sh", "-c",
                     'mount --bind -o ro "$0" "$0" && cd "$0" && exec "$@"', self.root]
        os.chmod(self.root, 0o755)
        self.write("index.html", b"hi")
        self.write("docs/a.png", b"png")

        server = self.start(wrapper=read_only + user)
        self.assertEqual(server.port, 80, server.lines)
        self.assertEqual(server.get("/index.html"), file_reply(b"hi", "text/html"))
        self.assertEqual(server.get("/"), listing(self.root, os.path.basename(self.root), [
            ("docs", "docs"), ("index.html", "index.html")]))

        with open("/proc/%d/status" % server.process.pid) as status:
            fields = dict(line.rstrip("\n").split(":\t", 1) for line in status)
        self.assertEqual(fields["Uid"].split(), [DYNAMIC_USER] * 4)
        self.assertEqual(fields["NoNewPrivs"], "1")
        for name in ["CapEff", "CapPrm", "CapAmb", "CapBnd"]:
            self.assertEqual(int(fields[name], 16), NET_BIND_SERVICE, name)
