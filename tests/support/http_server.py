#!/usr/bin/python3
"""A real web server for Webletter's tests and benchmarks, on the loopback address.

Run as a program it listens on 127.0.0.1 (a free port unless --port is given), prints
"PORT <n>" as its first line on standard output, and serves until it is killed.
Imported as a module:

    import http_server                       # tests/support must be on sys.path
    server, port = http_server.start()       # serves in a daemon thread
    ... fetch http://127.0.0.1:<port>/page ...
    server.shutdown(); server.server_close()

Over https: TlsServer(address, Handler, context) with an ssl.SSLContext holding the server's
certificate; each connection's handshake runs in that connection's own thread.

Every route answers GET. Pages whose exact bytes a test checks are in PAGE and CHARSET_PAGES.

  /page                  PAGE, "text/html; charset=utf-8"
  /marker                a page holding the marker <META NAME="webletterCheck" CONTENT="1">
  /empty                 status 200 with an empty body
  /charset/<name>        CHARSET_PAGES[name]: each gives its Content-Type (or none) and bytes:
                           header-latin1    charset=ISO-8859-1 in the header
                           header-unknown   an unknown charset in the header, a meta iso-8859-2
                           meta-http-equiv  <meta http-equiv="Content-Type" content="...iso-8859-15">
                           bom-utf16le      a UTF-16LE byte-order mark only, UTF-16LE text
                           none-latin1      no label, Latin-1 bytes
  /headers               the request's headers as text/plain, one "Name: value" a line
  /gzip                  PAGE compressed with gzip (Content-Encoding: gzip)
  /gzip-bomb/<n>         <n> bytes of "a", gzip-compressed (small on the wire)
  /bad-gzip              Content-Encoding: gzip with a body that is not gzip
  /chunked               PAGE sent in several chunks (Transfer-Encoding: chunked)
  /bad-chunked           a chunked body whose second chunk size is not a number
  /size/<n>              <n> bytes of size_body(n): the line "abcdefghijklmnopqrstuvwxyz0123456789\n"
                         repeated, cut at <n> (at most 1 GiB)
  /endless               a chunked body that never ends (stops after 1 GiB or when the client goes)
  /redirect/<n>          302 to /redirect/<n-1>; /redirect/0 is PAGE (a chain of n redirects)
  /loop                  302 to itself
  /redirect-file         302 to file:///etc/passwd
  /redirect-ftp          302 to ftp://127.0.0.1:<port>/page
  /status/<code>         status <code> with a small HTML error page
  /slow?delay=<s>        waits <s> seconds (default 3, at most 600), then PAGE
  /trickle?bytes=<n>&interval=<ms>
                         sends <n> bytes (default 20) of "x", one every <ms> ms (default 100)
  /reset                 announces 100000 bytes, sends 1000, then resets the connection
  /truncated             announces 100000 bytes, sends 1000, then closes the connection
  /nothing               closes the connection without answering
  anything else          404 with an HTML error page
"""

import argparse
import gzip
import http.server
import os
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

PAGE = (b"<!DOCTYPE html>\n<html><head><title>Webletter test page</title></head>\n"
        b"<body><p>Hello from the test server.</p></body></html>\n")

MARKER_PAGE = (b'<html><head><META NAME="webletterCheck" CONTENT="1">'
               b"<title>Checked</title></head><body>Checked page</body></html>\n")

# name: (Content-Type header or None, body bytes)
CHARSET_PAGES = {
    "header-latin1": ("text/html; charset=ISO-8859-1",
                      b"<html><body>Caf\xe9 cr\xe8me, na\xefve</body></html>"),
    "header-unknown": ("text/html; charset=x-no-such-charset",
                       b'<html><head><meta charset="iso-8859-2"></head>'
                       b"<body>\xb3\xf3d\xbc</body></html>"),
    "meta-http-equiv": ("text/html",
                        b'<html><head><META HTTP-EQUIV="Content-Type" '
                        b'CONTENT="text/html; charset=iso-8859-15"></head>'
                        b"<body>5 \xa4</body></html>"),
    "bom-utf16le": (None, b"\xff\xfe" + "<html>Grüße</html>".encode("utf-16-le")),
    "none-latin1": ("text/html", b"<html><body>Caf\xe9</body></html>"),
}

SIZE_LINE = b"abcdefghijklmnopqrstuvwxyz0123456789\n"
MAX_SIZE = 1 << 30
PIECE = 64 * 1024


def size_body(n):
    """The body of /size/<n>."""
    return (SIZE_LINE * (n // len(SIZE_LINE) + 1))[:n]


def error_page(code):
    return (f"<html><head><title>Error {code}</title></head>"
            f"<body><h1>Error {code}</h1><p>The server says no.</p></body></html>\n").encode()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "WebletterTestServer/1"
    sys_version = ""

    def log_message(self, format, *args):  # quiet: tests read only what they ask for
        pass

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        parts = url.path.strip("/").split("/")
        head, rest = parts[0], parts[1:]
        route = ROUTES.get(head)
        if route is None:
            self.send_body(404, error_page(404))
            return
        try:
            route(self, rest, query)
        except ValueError:
            self.send_body(400, error_page(400))
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    # Helpers for the routes.

    def send_body(self, code, body, content_type="text/html; charset=utf-8", headers=()):
        self.send_response(code)
        if content_type is not None:
            self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, location):
        self.send_body(302, b"<html><body>Moved</body></html>", headers=[("Location", location)])

    def start_chunked(self, content_type="text/html; charset=utf-8", headers=()):
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()

    def write_chunk(self, data):
        self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))

    def break_off(self, reset):
        """Ends the connection without finishing the response; `reset` sends a TCP reset."""
        self.wfile.flush()
        if reset:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
        else:
            self.connection.shutdown(socket.SHUT_RDWR)
        self.connection.close()
        self.close_connection = True

    # The routes.

    def route_page(self, rest, query):
        self.send_body(200, PAGE)

    def route_marker(self, rest, query):
        self.send_body(200, MARKER_PAGE)

    def route_empty(self, rest, query):
        self.send_body(200, b"")

    def route_charset(self, rest, query):
        if len(rest) != 1 or rest[0] not in CHARSET_PAGES:
            self.send_body(404, error_page(404))
            return
        content_type, body = CHARSET_PAGES[rest[0]]
        self.send_body(200, body, content_type=content_type)

    def route_headers(self, rest, query):
        text = "".join(f"{name}: {value}\n" for name, value in self.headers.items())
        self.send_body(200, text.encode("utf-8"), content_type="text/plain; charset=utf-8")

    def route_gzip(self, rest, query):
        self.send_body(200, gzip.compress(PAGE), headers=[("Content-Encoding", "gzip")])

    def route_gzip_bomb(self, rest, query):
        n = min(int(rest[0]), MAX_SIZE) if rest else 1 << 20
        self.send_body(200, gzip.compress(b"a" * n), content_type="text/plain",
                       headers=[("Content-Encoding", "gzip")])

    def route_bad_gzip(self, rest, query):
        self.send_body(200, b"this is not gzip data at all" * 4,
                       headers=[("Content-Encoding", "gzip")])

    def route_chunked(self, rest, query):
        self.start_chunked()
        for start in range(0, len(PAGE), 17):
            self.write_chunk(PAGE[start:start + 17])
        self.wfile.write(b"0\r\n\r\n")

    def route_bad_chunked(self, rest, query):
        self.start_chunked()
        self.write_chunk(b"<html>")
        self.wfile.write(b"zz\r\nnot a chunk\r\n0\r\n\r\n")
        self.close_connection = True

    def route_size(self, rest, query):
        n = min(int(rest[0]), MAX_SIZE) if rest else 0
        self.send_sized(n)

    def send_sized(self, n):
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(n))
        self.end_headers()
        piece = size_body(PIECE + len(SIZE_LINE))
        sent = 0
        while sent < n:
            # Pieces start on a line boundary so that they join into size_body(n).
            offset = sent % len(SIZE_LINE)
            count = min(PIECE, n - sent)
            self.wfile.write(piece[offset:offset + count])
            sent += count

    def route_endless(self, rest, query):
        self.start_chunked(content_type="text/plain")
        piece = size_body(PIECE)
        for _ in range(MAX_SIZE // PIECE):
            self.write_chunk(piece)
        self.wfile.write(b"0\r\n\r\n")

    def route_redirect(self, rest, query):
        n = int(rest[0]) if rest else 0
        if n <= 0:
            self.send_body(200, PAGE)
        else:
            self.redirect(f"/redirect/{n - 1}")

    def route_loop(self, rest, query):
        self.redirect("/loop")

    def route_redirect_file(self, rest, query):
        self.redirect("file:///etc/passwd")

    def route_redirect_ftp(self, rest, query):
        self.redirect(f"ftp://127.0.0.1:{self.server.server_address[1]}/page")

    def route_status(self, rest, query):
        code = int(rest[0]) if rest else 500
        self.send_body(code, error_page(code))

    def route_slow(self, rest, query):
        time.sleep(min(float(query.get("delay", "3")), 600.0))
        self.send_body(200, PAGE)

    def route_trickle(self, rest, query):
        n = min(int(query.get("bytes", "20")), 100000)
        interval = min(float(query.get("interval", "100")), 10000.0) / 1000.0
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(n))
        self.end_headers()
        for _ in range(n):
            self.wfile.write(b"x")
            self.wfile.flush()
            time.sleep(interval)

    def route_reset(self, rest, query):
        self.send_partial(reset=True)

    def route_truncated(self, rest, query):
        self.send_partial(reset=False)

    def send_partial(self, reset):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", "100000")
        self.end_headers()
        self.wfile.write(size_body(1000))
        time.sleep(0.05)
        self.break_off(reset)

    def route_nothing(self, rest, query):
        self.break_off(reset=False)


ROUTES = {
    "page": Handler.route_page,
    "marker": Handler.route_marker,
    "empty": Handler.route_empty,
    "charset": Handler.route_charset,
    "headers": Handler.route_headers,
    "gzip": Handler.route_gzip,
    "gzip-bomb": Handler.route_gzip_bomb,
    "bad-gzip": Handler.route_bad_gzip,
    "chunked": Handler.route_chunked,
    "bad-chunked": Handler.route_bad_chunked,
    "size": Handler.route_size,
    "endless": Handler.route_endless,
    "redirect": Handler.route_redirect,
    "loop": Handler.route_loop,
    "redirect-file": Handler.route_redirect_file,
    "redirect-ftp": Handler.route_redirect_ftp,
    "status": Handler.route_status,
    "slow": Handler.route_slow,
    "trickle": Handler.route_trickle,
    "reset": Handler.route_reset,
    "truncated": Handler.route_truncated,
    "nothing": Handler.route_nothing,
}


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class TlsServer(Server):
    """The same routes over TLS."""

    def __init__(self, address, handler, context: ssl.SSLContext):
        super().__init__(address, handler)
        self.context = context

    def finish_request(self, request, client_address):
        try:
            connection = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return  # the client refused the certificate or went away
        with connection:
            self.RequestHandlerClass(connection, client_address, self)


def start(host="127.0.0.1", port=0):
    """Starts the server in a daemon thread; returns (server, port)."""
    server = Server((host, port), Handler)
    thread = threading.Thread(target=server.serve_forever, name="http_server", daemon=True)
    thread.start()
    return server, server.server_address[1]


def exit_with_parent():
    """Ends this process when the process that started it is gone, so that a test that crashes
    leaves no server behind."""
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    arguments = parser.parse_args()
    server = Server(("127.0.0.1", arguments.port), Handler)
    print(f"PORT {server.server_address[1]}", flush=True)
    threading.Thread(target=exit_with_parent, daemon=True).start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
