import os
import re

import clients
from clients import run


class Curl(clients.ClientTestCase):
    def setUp(self):
        super().setUp()
        self.out = self.output_dir()

    def curl(self, path, *args, server=None):
        """Runs curl on a path; returns (exit status, status code, stderr text)."""
        result = run(["curl", "--silent", "--show-error", "--max-time", "30",
                      "--write-out", "%{http_code}", *args,
                      clients.base_url(server or self.server) + path])
        return result.returncode, result.stdout.decode(), result.stderr.decode()

    def test_whole_file_arrives_byte_identical(self):
        data = clients.payload(1 << 20, 1)
        self.write("clips/été #1.mp4", data)
        self.server = self.start()
        target = os.path.join(self.out, "copy")
        headers = os.path.join(self.out, "headers")
        code, status, err = self.curl("/clips/%C3%A9t%C3%A9%20%231.mp4", "-o", target,
                                      "--dump-header", headers)
        self.assertEqual((code, status), (0, "200"), err)
        self.assertEqual(clients.read_file(target), data)
        head = clients.read_file(headers).decode()
        self.assertIn("Content-Length: %d\r\n" % len(data), head)
        self.assertIn("Content-Type: video/mp4\r\n", head)
        # curl -I: the same head, and no wait for a body.
        code, status, err = self.curl("/clips/%C3%A9t%C3%A9%20%231.mp4", "-I", "-o", headers)
        self.assertEqual((code, status, clients.read_file(headers).decode()), (0, "200", head), err)

    def test_ranges_in_all_three_forms(self):
        data = clients.payload(1000, 2)
        self.write("song.mp3", data)
        self.server = self.start()
        cases = [("0-99", 0, 100), ("900-", 900, 1000), ("-100", 900, 1000),
                 ("500-5000", 500, 1000)]
        for form, first, end in cases:
            with self.subTest(range=form):
                target = os.path.join(self.out, "part")
                headers = os.path.join(self.out, "headers")
                code, status, err = self.curl("/song.mp3", "-r", form, "-o", target,
                                              "--dump-header", headers)
                self.assertEqual((code, status), (0, "206"), err)
                self.assertEqual(clients.read_file(target), data[first:end])
                self.assertIn("Content-Range: bytes %d-%d/1000\r\n" % (first, end - 1),
                              clients.read_file(headers).decode())

    def test_listing_page_without_length_is_read_to_the_end(self):
        self.write("docs/a b.html", "<p>a</p>")
        self.write("logo.png", clients.payload(100, 3))
        self.write("notes.txt", "not listed")
        self.server = self.start()
        target = os.path.join(self.out, "page")
        code, status, err = self.curl("/", "-o", target)
        self.assertEqual((code, status), (0, "200"), err)
        page = clients.read_file(target).decode()
        self.assertIn('<a href="/docs">docs</a>', page)
        self.assertIn('<a href="/logo.png">logo.png</a>', page)
        self.assertNotIn("notes.txt", page)
        self.assertTrue(page.endswith("</html>\n"), page)

        code, status, err = self.curl("/docs", "-o", target)
        self.assertEqual((code, status), (0, "200"), err)
        self.assertIn('<a href="/docs/a%20b.html">a b.html</a>',
                      clients.read_file(target).decode())

    def test_missing_file_reports_404_without_hanging(self):
        self.server = self.start()
        code, status, err = self.curl("/missing.html", "-o", os.devnull)
        self.assertEqual((code, status), (0, "404"), err)
        # --fail turns the status into curl's own failure; 28 would mean it waited for more.
        code, status, err = self.curl("/missing.html", "--fail", "-o", os.devnull)
        self.assertEqual((code, status), (22, "404"), err)
        code, status, err = self.curl("/missing.html", "-I", "-o", os.devnull)
        self.assertEqual((code, status), (0, "404"), err)
        self.server.wait_line('error: file not found for "missing.html"')

    def test_resumes_an_interrupted_download(self):
        data = clients.payload(16 << 20, 4)
        self.write("big/movie.webm", data)
        self.server = self.start()
        target = os.path.join(self.out, "movie.webm")

        # A slow transfer cut off by curl's own time limit leaves a partial file behind.
        code, _, err = self.curl("/big/movie.webm", "--limit-rate", "1M", "--max-time", "2",
                                 "-o", target)
        self.assertEqual(code, 28, err)
        partial = os.path.getsize(target)
        self.assertTrue(0 < partial < len(data), partial)
        self.assertEqual(clients.read_file(target), data[:partial])

        code, status, err = self.curl("/big/movie.webm", "-C", "-", "-o", target)
        self.assertEqual((code, status), (0, "206"), err)
        self.assertEqual(clients.read_file(target), data)
        resumed = r'"big/movie\.webm" \(%d-%d/%d\) video/webm' % (partial, len(data) - 1,
                                                                     len(data))
        self.server.wait_line(lambda line: re.fullmatch(resumed, line) is not None)

        # Resuming a complete copy asks for the range past the end: curl takes the 416 as
        # "nothing left to fetch" and leaves the file alone.
        code, status, err = self.curl("/big/movie.webm", "-C", "-", "-o", target)
        self.assertEqual((code, status), (0, "416"), err)
        self.assertEqual(clients.read_file(target), data)
