"""The exact replies and console lines the server gives, built the way a reader would check them."""
import time
import urllib.parse

import harnow

NOT_FOUND = b"HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n"
FOOTER = b'Tesmer by <a href="https://harnow.example">Orvane</a>\n</body>\n</html>\n'


def file_reply(body, content_type, size=None, first=None, last=None):
    """A 200 reply, or a 206 one when first and last are given (body is the range's bytes)."""
    size = len(body) if size is None else size
    if first is None:
        head = "HTTP/1.1 200 OK\r\nConnection: close\r\nAccept-Ranges: bytes\r\n"
    else:
        head = "HTTP/1.1 206 Partial Content\r\nConnection: close\r\nAccept-Ranges: bytes\r\n"
    head += "Content-Length: %d\r\n" % len(body)
    if first is not None:
        head += "Content-Range: bytes %d-%d/%d\r\n" % (first, last, size)
    head += "Content-Type: %s\r\n\r\n" % content_type
    return head.encode() + body


def unsatisfiable(size):
    return ("HTTP/1.1 416 Range Not Satisfiable\r\nConnection: close\r\n"
            "Content-Range: bytes */%d\r\n\r\n" % size).encode()


def quoted(text):
    """A path as the console shows it: quoted, '&' before '"' and '&', and as \\xNN every byte
    of a control character (C0, DEL, C1) and every byte that is not UTF-8 (a surrogate escape)."""
    def shown(char):
        code = ord(char)
        if code < 0x20 or code == 0x7F:
            return "\\x%02x" % code
        if 0x80 <= code <= 0x9F:
            return "".join("\\x%02x" % byte for byte in char.encode())
        if 0xDC80 <= code <= 0xDCFF:
            return "\\x%02x" % (code - 0xDC00)
        return char
    return '"%s"' % "".join(map(shown, text.replace("&", "&&").replace('"', '&"')))


def html(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;").replace("'", "&#39;"))


def href(relative):
    """The root-relative, percent-encoded link the listing writes for a path under the root."""
    return "/" + urllib.parse.quote(relative.encode("utf-8", "surrogateescape"), safe="/-._~")


def listing(directory, title, links):
    """The whole listing reply; links are (target below the root, text) in page order."""
    page = ("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html\r\n\r\n"
            '<html>\n<head>\n<meta http-equiv="content-type" content="text/html; charset=utf-8"/>\n'
            "<title>%s</title>\n</head>\n<body>\n<p>%s</p>\n" % (html(title), html(directory)))
    for target, text in links:
        page += '<p><a href="%s">%s</a></p>\n' % (href(target), html(text))
    return page.encode("utf-8", "surrogateescape") + FOOTER


def receive(data, port, pause=0.0, timeout=10):
    """Sends the request and reads the reply; returns (bytes, how it ended: 'close' or 'reset').
    With a pause the reply has time to arrive whole before a byte of it is read."""
    try:
        with harnow.connect(port, timeout) as sock:
            sock.sendall(data)
            time.sleep(pause)
            return harnow.read_to_end(sock, timeout)
    except (ConnectionResetError, BrokenPipeError):  # before the request was sent
        return b"", "reset"


def head_of(port, data, timeout=10):
    """Only the header lines of a reply; the connection is dropped before the body."""
    with harnow.connect(port, timeout) as sock:
        sock.sendall(data)
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = sock.recv(4096)
            if not chunk:
                break
            head += chunk
        return head.partition(b"\r\n\r\n")[0].decode("latin-1").split("\r\n")
