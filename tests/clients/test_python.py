import html.parser
import http.client
import urllib.error
import urllib.parse
import urllib.request

import clients


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

    def test_http_client_reads_lf_only_replies(self):
        def get(path, headers=None):
            connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=20)
            self.addCleanup(connection.close)
            connection.request("GET", path, headers=headers or {})
            reply = connection.getresponse()
            return reply, reply.read()

        path = urllib.parse.quote("/media/été & co/film #1.ogv")
        reply, body = get(path)
        self.assertEqual((reply.status, reply.reason, reply.version), (200, "OK", 11))
        self.assertTrue(reply.will_close)
        self.assertEqual(reply.getheader("Accept-Ranges"), "bytes")
        self.assertEqual(body, self.data)

        reply, body = get(path, {"Range": "bytes=1000-1999"})
        self.assertEqual((reply.status, reply.reason), (206, "Partial Content"))
        self.assertEqual(reply.getheader("Content-Length"), "1000")
        self.assertEqual(body, self.data[1000:2000])

        # No Content-Length on a listing: the reply ends with the connection.
        reply, body = get("/media")
        self.assertEqual(reply.status, 200)
        self.assertIsNone(reply.getheader("Content-Length"))
        self.assertIn(b'<a href="/media/index.html">index.html</a>', body)
        self.assertNotIn(b"notes.txt", body)

        reply, body = get("/media/missing.ogv")
        self.assertEqual((reply.status, reply.reason, body), (404, "Not Found", b""))
