import os

import clients
from clients import run

EXTENSIONS = [".htm", ".html", ".js", ".css", ".png", ".jpg", ".svg", ".ogg", ".oga", ".mp3",
              ".ogv", ".webm", ".mp4", ".flv", ".f4v"]
TEXT_EXTENSIONS = {".htm", ".html", ".js", ".css", ".svg"}

# Three levels below the root; every name needs percent-encoding in a link.
LEVELS = ["one & two", "ñandú #3", "третий 100%"]


class WgetMirror(clients.ClientTestCase):
    def content(self, relative, extension):
        # wget reads HTML and CSS for more links: give those no links, so that only the
        # listing pages lead anywhere.
        if extension in TEXT_EXTENSIONS:
            return ("/* %s */\n<p>%s</p>\n" % (relative, relative)).encode()
        return clients.payload(2000 + len(relative), relative)

    def build_site(self):
        expected = {}
        directories = ["/".join(LEVELS[:depth]) for depth in range(len(LEVELS) + 1)]
        for depth, directory in enumerate(directories):
            # Every table extension at the root and the deepest, some between; a few in upper case.
            chosen = EXTENSIONS if depth in (0, len(LEVELS)) else EXTENSIONS[depth::4]
            for i, extension in enumerate(chosen):
                name = ["plain", "a b", "q&a", "no #%d" % i, "50%", "çà ü"][i % 6] + (
                    extension.upper() if i % 4 == 1 else extension)
                relative = os.path.join(directory, name)
                expected[relative] = self.content(relative, extension)
                self.write(relative, expected[relative])
            # Not in the table, so not listed and never fetched.
            self.write(os.path.join(directory, "notes.txt"), "unlisted")
            self.write(os.path.join(directory, "README"), "unlisted")
        return expected

    def test_mirrors_a_nested_tree_through_the_listings(self):
        expected = self.build_site()
        server = self.start()
        out = self.output_dir()
        result = run(["wget", "--recursive", "--no-parent", "--no-host-directories",
                      "--restrict-file-names=nocontrol", "--execute", "robots=off",
                      "--timeout=20", "--tries=1", "--no-verbose",
                      clients.base_url(server) + "/"], cwd=out, timeout=120)
        # Any 404 or cut-off reply on the way would make wget's status non-zero.
        self.assertEqual(result.returncode, 0, result.stderr.decode())

        mirrored = {}
        for directory, _, names in os.walk(out):
            for name in names:
                path = os.path.join(directory, name)
                mirrored[os.path.relpath(path, out)] = clients.read_file(path)
        # The root listing is saved as index.html; the tree itself holds none.
        root_page = mirrored.pop("index.html").decode()
        self.assertIn('<a href="/one%20%26%20two">one &amp; two</a>', root_page)
        self.assertEqual(sorted(mirrored), sorted(expected))
        for relative, data in expected.items():
            self.assertEqual(mirrored[relative], data, relative)
        deepest = [name for name in expected if name.startswith("/".join(LEVELS) + "/")]
        self.assertEqual(len(deepest), len(EXTENSIONS))

        # A link check: HEAD for each file, GET for the pages whose links it follows.
        before = len(server.settled_lines())
        result = run(["wget", "--spider", "--recursive", "--no-parent", "--execute", "robots=off",
                      "--timeout=20", "--tries=1", "--no-verbose", clients.base_url(server) + "/"],
                     cwd=out, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        checked = {line.rsplit(" (", 1)[0] for line in server.settled_lines()[before:]
                   if line.startswith('"')}
        self.assertEqual(checked, {'"%s"' % name.replace("&", "&&") for name in expected})
