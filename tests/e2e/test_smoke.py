import harnow


class Smoke(harnow.ServerTestCase):
    def test_serves_a_file(self):
        self.write("index.html", b"<p>hi</p>")
        server = self.start()
        status, headers, body = harnow.split_reply(server.get("/index.html"))
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertEqual(body, b"<p>hi</p>")
