"""Request lines, decoding, file replies with ranges, types, the 404 and what is refused."""
import os

import harnow
from replies import NOT_FOUND, file_reply, head_of, listing, quoted, receive, unsatisfiable

CLIP = bytes((i * 7 + i // 256) % 256 for i in range(1000))  # 1000 bytes, no run repeats


def get(path, *headers):
    return ("GET %s HTTP/1.1\r\nHost: x\r\n%s\r\n" % (path, "".join(h + "\r\n" for h in headers))
            ).encode("utf-8", "surrogateescape")


class Files(harnow.ServerTestCase):
    def setUp(self):
        super().setUp()
        self.write("media/clip.ogv", CLIP)
        self.write("index.html", b"<p>index</p>")
        self.server = self.start()

    def expect(self, request, reply, line):
        """The reply's exact bytes, then its console line as the next one printed; and the same
        request as HEAD: the same head and line, nothing after the head."""
        head = (request.replace(b"GET ", b"HEAD ", 1), reply[:reply.index(b"\r\n\r\n") + 4])
        for request, reply in [(request, reply), head]:
            self.assertEqual(self.server.request(request), reply, request)
            self.assertEqual(self.server.next_line(), line, request)

    def test_answers_only_get_and_head_with_a_slash_and_a_space_after_the_path(self):
        for line in [b"head / HTTP/1.1", b"get / HTTP/1.1", b"POST /x HTTP/1.1", b"HEAD /x",
                     b"GET /index.html", b"GET index.html HTTP/1.1", b"GET  /index.html HTTP/1.1"]:
            reply, _ = receive(line + b"\r\nHost: x\r\n\r\n", self.server.port)
            self.assertEqual(reply, b"", line)
        # Nothing was printed for those: the next line belongs to this request.
        page = file_reply(b"<p>index</p>", "text/html")
        self.expect(b"  GET /index.html HTTP/1.1\r\n\r\n", page, '"index.html" (12) text/html')
        self.expect(b"GET /index.html x\n\n", page, '"index.html" (12) text/html')

    def test_decodes_the_path_from_the_end(self):
        names = {"a b.html": "/a%20b.html", "%41": "/%2541", "a%4": "/a%4",
                 "a+b.html": "/a+b.html", "AJ": "/%41%4a", "media/clip2.ogv": "/media%2Fclip2.ogv"}
        if not harnow.WINE:  # Windows names cannot hold control bytes
            names["x\x04"] = "/x%4g"
        for name, path in names.items():
            self.write(name, name.encode())
        for name, path in names.items():
            _, _, body = harnow.split_reply(self.server.request(get(path)))
            self.assertEqual(body, name.encode(), path)
            self.server.wait_line(lambda line: line.startswith(quoted(name) + " ("))
        # '%zz' is the byte 0, which no file name can hold.
        self.expect(get("/x%zz"), NOT_FOUND, 'error: access denied for "x\\x00"')

    def test_sends_the_file_whole_or_as_one_range(self):
        line = '"media/clip.ogv" (%s) video/ogg'
        cases = [
            ((), file_reply(CLIP, "video/ogg"), line % "1000"),
            (("range: BYTES=0-99",), file_reply(CLIP[:100], "video/ogg", 1000, 0, 99),
             line % "0-99/1000"),
            (("RANGE:bytes=900-",), file_reply(CLIP[900:], "video/ogg", 1000, 900, 999),
             line % "900-999/1000"),
            (("Range: bytes=-100",), file_reply(CLIP[900:], "video/ogg", 1000, 900, 999),
             line % "900-999/1000"),
            (("Range: bytes=500-5000",), file_reply(CLIP[500:], "video/ogg", 1000, 500, 999),
             line % "500-999/1000"),
            (("Range: bytes=-5000",), file_reply(CLIP, "video/ogg", 1000, 0, 999),
             line % "0-999/1000"),
            (("Range: bytes=0-99,200-299",), file_reply(CLIP[:100], "video/ogg", 1000, 0, 99),
             line % "0-99/1000"),
            (("Range: bytes=100-499", "X-Other: 1", "Range: bytes=5", "Range: bytes=-50"),
             file_reply(CLIP[450:500], "video/ogg", 1000, 450, 499), line % "450-499/1000"),
            (("Range: items=0-99",), file_reply(CLIP, "video/ogg"), line % "1000"),
            (("Range: bytes=0x2-0x3",), file_reply(CLIP, "video/ogg"), line % "1000"),
        ]
        for headers, reply, console in cases:
            self.expect(get("/media/clip.ogv", *headers), reply, console)

    def test_answers_a_range_outside_the_file_with_416(self):
        self.write("empty.js", b"")
        # The console shows the last range asked as written, never one with its ends reversed.
        for path, size, ranges, shown in [
                ("/media/clip.ogv", 1000, ["Range: bytes=5000-"], "bytes=5000- of 1000"),
                ("/media/clip.ogv", 1000, ["Range: bytes=0-99", "Range: Bytes=500-"],
                 "Bytes=500- of 1000"),
                ("/media/clip.ogv", 1000, ["Range: bytes=-0"], "bytes=-0 of 1000"),
                ("/empty.js", 0, ["Range: bytes=0-0"], "bytes=0-0 of 0")]:
            self.expect(get(path, *ranges), unsatisfiable(size),
                        "%s (%s) not satisfiable" % (quoted(path[1:]), shown))

    def test_sends_an_empty_file_and_types_by_extension_in_any_case(self):
        types = {"empty.html": "text/html", "Page.Html": "text/html", "DSC0001.JPG": "image/jpeg",
                 "readme": "application/octet-stream", "clip.MP4": "video/mp4",
                 "x.svg": "image/svg+xml", "s.css": "text/css", "app.js": "text/javascript",
                 "song.oga": "audio/ogg", "v.f4v": "video/x-flv"}
        for name in types:
            self.write(name, b"" if name == "empty.html" else b"data")
        for name, content_type in types.items():
            body = b"" if name == "empty.html" else b"data"
            self.expect(get("/" + name), file_reply(body, content_type),
                        "%s (%d) %s" % (quoted(name), len(body), content_type))

    def test_ends_the_path_at_the_first_raw_question_mark(self):
        # As generated sites link their assets ('style.css?v=3'); an encoded '%3F' is a name's.
        self.expect(get("/index.html?v=2?x"), file_reply(b"<p>index</p>", "text/html"),
                    '"index.html" (12) text/html')
        media = harnow.served(self.root, "media")
        self.expect(get("/media?sort=name"), listing(media, "media", [("media/clip.ogv",
                                                                          "clip.ogv")]),
                    "listing html files in " + quoted(media))
        if not harnow.WINE:  # Windows names cannot hold '?'
            self.write("index.html?v=2", b"query")
            self.expect(get("/index.html%3Fv=2"), file_reply(b"query", "application/octet-stream"),
                        '"index.html?v=2" (5) application/octet-stream')

    def test_serves_a_sparse_file_past_4_gib(self):
        size = (5 << 30) + 10
        with open(os.path.join(self.root, "big.bin"), "wb") as f:
            f.truncate(size)
            f.seek(4 << 30)
            f.write(b"0123456789")
        head = head_of(self.server.port, get("/big.bin"))
        self.assertEqual(head, ["HTTP/1.1 200 OK", "Connection: close", "Accept-Ranges: bytes",
                                "Content-Length: %d" % size,
                                "Content-Type: application/octet-stream"])
        self.server.wait_line('"big.bin" (%d) application/octet-stream' % size)
        first = 4 << 30
        self.server.wait_line(lambda line: line.startswith("error: "), timeout=30)
        self.expect(get("/big.bin", "Range: bytes=%d-%d" % (first + 2, first + 5)),
                    file_reply(b"2345", "application/octet-stream", size, first + 2, first + 5),
                    '"big.bin" (%d-%d/%d) application/octet-stream' % (first + 2, first + 5, size))

    def test_answers_a_missing_file_with_the_45_byte_404(self):
        reply = self.server.request(get("/missing.html"))
        self.assertEqual((reply, len(reply)), (NOT_FOUND, 45))
        self.assertEqual(self.server.next_line(), 'error: file not found for "missing.html"')

    def test_follows_symbolic_links_inside_the_tree(self):
        os.symlink("media", os.path.join(self.root, "alias"))
        self.expect(get("/alias/clip.ogv", "Range: bytes=-1"),
                    file_reply(CLIP[-1:], "video/ogg", 1000, 999, 999),
                    '"alias/clip.ogv" (999-999/1000) video/ogg')


class Refused(harnow.ServerTestCase):
    def setUp(self):
        super().setUp()
        # The served directory is a sub-directory, so there is something outside to reach for.
        self.write("outside.html", b"SECRET")
        self.write("site/secret.txt", b"SECRET")
        self.write("site/docs/a.html", b"a")
        self.server = self.start(cwd=os.path.join(self.root, "site"))

    def test_refuses_every_path_that_leaves_the_served_directory(self):
        for path, shown in [("//etc/passwd", "/etc/passwd"), ("/%2Fetc%2Fpasswd", "/etc/passwd"),
                            ("/../outside.html", "../outside.html"),
                            ("/docs/../../outside.html", "docs/../../outside.html"),
                            ("/%2e%2e/outside.html", "../outside.html"), ("/..", ".."),
                            ("/docs/..", "docs/.."), ("/secret.txt%00.html", "secret.txt\x00.html")]:
            self.assertEqual(self.server.request(get(path)), NOT_FOUND, path)
            self.assertEqual(self.server.next_line(), "error: access denied for " + quoted(shown))

    @harnow.posix_only("FIFOs and devices")
    def test_answers_a_fifo_or_a_device_at_once_with_404(self):
        os.mkfifo(os.path.join(self.root, "site/pipe.html"))
        os.symlink("/dev/zero", os.path.join(self.root, "site/zero.bin"))
        for name in ["pipe.html", "zero.bin"]:
            self.assertEqual(self.server.request(get("/" + name)), NOT_FOUND, name)
            self.assertEqual(self.server.next_line(), "error: access denied for " + quoted(name))

    @harnow.posix_only("Windows names cannot hold control bytes")
    def test_escapes_control_bytes_of_a_path_on_the_console(self):
        self.assertEqual(self.server.request(get("/%1b%5b2J%0aFAKE%7f%09")), NOT_FOUND)
        self.assertEqual(self.server.next_line(),
                         'error: file not found for "\\x1b[2J\\x0aFAKE\\x7f\\x09"')
        # C1 controls in their UTF-8 form (CSI, NEL) and bytes that are not UTF-8 (a raw CSI).
        for path, shown in [("/x%c2%9b2J%c2%85fake", "x\\xc2\\x9b2J\\xc2\\x85fake"),
                            ("/%9b2J%ff.html", "\\x9b2J\\xff.html")]:
            self.assertEqual(self.server.request(get(path)), NOT_FOUND)
            self.assertEqual(self.server.next_line(), 'error: file not found for "%s"' % shown)
        self.write("site/tab\there.html", b"t")
        self.assertEqual(self.server.request(get("/tab%09here.html")), file_reply(b"t", "text/html"))
        self.assertEqual(self.server.next_line(), '"tab\\x09here.html" (1) text/html')

    @harnow.windows_only("names that Windows reads as another file")
    def test_windows_refuses_names_that_windows_reads_as_another_file(self):
        # Drive Z: of Wine is '/': a path that got through would reach the secret.
        outside = harnow.shown(os.path.join(self.root, "outside.html"))
        for path, shown in [
                ("/Z:" + outside[2:].replace("\\", "/"), "Z:" + outside[2:].replace("\\", "/")),
                ("/" + outside.replace("\\", "%5C"), outside),
                ("/..%5Coutside.html", "..\\outside.html"),
                ("/docs%5C..%5C..%5Coutside.html", "docs\\..\\..\\outside.html"),
                ("/%5C%5C127.0.0.1%5Cc$", "\\\\127.0.0.1\\c$"),
                ("/..%20/outside.html", ".. /outside.html"),
                ("/.../outside.html", ".../outside.html"), ("/docs./a.html", "docs./a.html"),
                ("/docs%20/a.html", "docs /a.html"), ("/docs/a.html.", "docs/a.html."),
                ("/docs/a.html::$DATA", "docs/a.html::$DATA"), ("/C:", "C:"), ("/C:/Windows", "C:/Windows"),
                ("/CON", "CON"), ("/con.html", "con.html"), ("/docs/Nul.txt", "docs/Nul.txt"),
                ("/aux", "aux"), ("/PRN.js", "PRN.js"), ("/com1", "com1"), ("/LPT9.mp3", "LPT9.mp3"),
                ("/index.html%3Fv=2", "index.html?v=2"), ("/*.html", "*.html"),
                ("/%ff.html", "\udcff.html"),
                ("/%1b%5b2J%0aFAKE%7f%09", "\x1b[2J\x0aFAKE\x7f\x09")]:
            self.assertEqual(self.server.request(get(path)), NOT_FOUND, path)
            self.assertEqual(self.server.next_line(), "error: access denied for " + quoted(shown),
                             path)


class Reserved(harnow.ServerTestCase):
    @harnow.posix_only("Windows reserves these names")
    def test_serves_names_that_only_windows_reserves(self):
        names = ["con.html", "aux", "LPT1.js", "a:b.html", "back\\slash.html", "dot.html.",
                 "space.html "]
        for name in names:
            self.write(name, name.encode())
        server = self.start()
        for name in names:
            _, _, body = harnow.split_reply(server.get("/" + name.replace(" ", "%20")))
            self.assertEqual(body, name.encode(), name)
            server.wait_line(lambda line: line.startswith(quoted(name) + " ("))


class Unprivileged(harnow.ServerTestCase):
    @harnow.posix_only("runs the server as another user with setpriv")
    def test_a_directory_that_may_not_be_entered_gets_the_404(self):
        # Root may enter any directory, so the server runs as a user of its own.
        os.chmod(self.root, 0o755)
        self.write("locked/a.html", b"a")
        os.chmod(os.path.join(self.root, "locked"), 0)
        server = self.start(user=47213)
        for path in ["/locked/a.html", "/locked"]:
            self.assertEqual(server.get(path), NOT_FOUND, path)
            self.assertEqual(server.next_line(), "error: access denied for " + quoted(path[1:]))
        # HEAD opens the directory as GET does, though it makes no page.
        self.assertEqual(server.request(b"HEAD /locked HTTP/1.1\r\n\r\n"), NOT_FOUND)
        self.assertEqual(server.next_line(), 'error: access denied for "locked"')
