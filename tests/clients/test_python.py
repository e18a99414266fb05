import html.parser
import http.client
import json
import urllib.error
import urllib.parse
import urllib.request

import clients
import harnow


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self.links.append(dict(attrs)["href"])


def links_of(page):
    """The links into the served tree (the footer links elsewhere)."""
    parser = Links()
    parser.feed(page)
    return [link for link in parser.links if link.startswith("/")]


class PythonClients(clients.ClientTestCase):
    def setUp(self):
        super().setUp()
        self.data = clients.payload(70000, 5)
        self.write("media/été & co/film #1.ogv", self.data)
        self.write("media/index.html", "<p>media</p>")
        self.write("media/notes.txt", "unlisted")
        self.server = self.start()
        self.base = clients.base_url(self.server)

    def urlopen(self, path, headers=None):
        request = urllib.request.Request(self.base + path, headers=headers or {})
        return urllib.request.urlopen(request, timeout=20)

    def test_urllib_follows_listing_links_to_files(self):
        with self.urlopen("/") as reply:
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.headers["Content-Type"], "text/html")
            self.assertEqual(links_of(reply.read().decode())[:1], ["/media"])
        with self.urlopen("/media") as reply:
            links = links_of(reply.read().decode())
        # Sub-directories come first.
        self.assertEqual(links, ["/media/%C3%A9t%C3%A9%20%26%20co", "/media/index.html"])
        with self.urlopen(links[0]) as reply:
            (film,) = links_of(reply.read().decode())
        self.assertEqual(urllib.parse.unquote(film), "/media/été & co/film #1.ogv")

        with self.urlopen(film) as reply:
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.headers["Content-Type"], "video/ogg")
            self.assertEqual(reply.headers["Content-Length"], str(len(self.data)))
            self.assertEqual(reply.read(), self.data)

    def test_urllib_ranges_and_missing_file(self):
        path = "/media/%C3%A9t%C3%A9%20%26%20co/film%20%231.ogv"
        size = len(self.data)
        for form, first, end in [("0-99", 0, 100), ("69000-", 69000, size),
                                 ("-4096", size - 4096, size)]:
            with self.subTest(range=form):
                with self.urlopen(path, {"Range": "bytes=" + form}) as reply:
                    self.assertEqual(reply.status, 206)
                    self.assertEqual(reply.headers["Content-Range"],
                                     "bytes %d-%d/%d" % (first, end - 1, size))
                    self.assertEqual(reply.read(), self.data[first:end])
        with self.assertRaises(urllib.error.HTTPError) as caught:
            self.urlopen("/media/missing.ogv")
        self.assertEqual(caught.exception.code, 404)
        caught.exception.close()

    def test_http_client_and_node_read_every_reply_as_sent(self):
        # Node sends the header name 'range' in lower case, as JavaScript code spells it.
        harnow.require_tools(self, "node")
        lower = lambda pairs: {name.lower(): value for name, value in pairs}

        def http_client(method, path, range_):
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=20)
            self.addCleanup(connection.close)
            connection.request(method, path, headers={"Range": range_} if range_ else {})
            reply = connection.getresponse()
            self.assertEqual((reply.version, reply.will_close), (11, True))
            return reply.status, reply.reason, lower(reply.getheaders()), reply.read()

        film = urllib.parse.quote("/media/été & co/film #1.ogv")
        for path, range_, status, body in [
                (film, "", 200, self.data), (film, "bytes=1000-1999", 206, self.data[1000:2000]),
                ("/media", "", 200, None), ("/media/missing.ogv", "", 404, b"")]:
            line, head, sent = harnow.split_reply(self.server.get(path, ["range: " + range_]
                                                                  if range_ else []))
            _, code, reason = line.split(" ", 2)
            self.assertEqual((int(code), sent), (status, sent if body is None else body), path)
            read = [http_client("GET", path, range_)]
            node = clients.run(["node", "node_get.mjs", self.base + path, range_]).stdout
            read += [(s, r, lower(h.items()), b.encode("latin-1")) for s, r, h, b in json.loads(node)]
            # A listing has no length: each client reads it to the end of the connection.
            expected = (status, reason, lower(h.split(": ", 1) for h in head), sent)
            for client, got in zip(["http.client", "node http", "fetch"], read):
                self.assertEqual(got, expected, (client, path))
            # HEAD: the same head, and http.client waits for no body.
            self.assertEqual(http_client("HEAD", path, range_), expected[:3] + (b"",), path)
