"""Scripted servers on loopback: HttpServer answers each path from a table of routes, SmtpServer
each SMTP command from a table of replies, SecureSmtpServer is aiosmtpd with TLS and sign-in.
README.md beside this file lists the keys of a route and of a reply table.
"""

import asyncio
import base64
import gzip
import http.server
import logging
import socket
import socketserver
import ssl
import struct
import threading
import time
import warnings

DEFAULT_REPLIES = {
    "greeting": "220 smtp.test ready",
    "EHLO": "250-smtp.test\r\n250-8BITMIME\r\n250 SIZE 268435456",
    "HELO": "250 smtp.test",
    "MAIL": "250 OK",
    "RCPT": "250 OK",
    "DATA": "354 End data with <CR><LF>.<CR><LF>",
    "END": "250 Message accepted",
    "RSET": "250 OK",
    "NOOP": "250 OK",
    "QUIT": "221 Bye",
}


def route_body(route, compressed=True) -> bytes:
    body = route.get("body", "").encode(route.get("encoding", "utf-8")) * route.get("repeat", 1)
    return gzip.compress(body, 1) if compressed and route.get("gzip") else body


class HttpHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.requested.append(self.path)
        route = self.server.routes.get(self.path)
        if route is None:
            route = {"status": 404, "body": "<html><body>Not found</body></html>"}
        time.sleep(route.get("delay", 0))
        if "raw" in route:
            self.wfile.write(route["raw"].encode("latin-1"))
            self.close_connection = True
            return
        body = self.server.body_of(self.path, route)
        self.send_response(route.get("status", 200))
        headers = {"Content-Type": "text/html; charset=utf-8", **route.get("headers", {})}
        if route.get("gzip"):
            headers["Content-Encoding"] = "gzip"
        if route.get("chunked"):
            headers["Transfer-Encoding"] = "chunked"
        else:
            headers["Content-Length"] = str(route.get("length", len(body)))
        for name, value in headers.items():
            if value != "":
                self.send_header(name, value)
        self.end_headers()
        try:
            self.send_body(body, route)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def send_body(self, body, route):
        view, piece = memoryview(body), 1 << 16
        if route.get("chunked"):
            size = max(17, len(body) // 8)  # small pages in many chunks, large ones in few
            for start in range(0, len(body), size):
                chunk = view[start:start + size]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
            self.wfile.write(b"0\r\n\r\n")
        else:
            for start in range(0, len(body), piece):
                self.wfile.write(view[start:start + piece])
        if route.get("then") in ("reset", "close"):
            self.wfile.flush()
            if route["then"] == "reset":
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            else:
                self.connection.shutdown(socket.SHUT_RDWR)
            self.connection.close()
            self.close_connection = True


class HttpServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, routes=None, context=None):
        super().__init__(("127.0.0.1", 0), HttpHandler)
        self.routes, self.context, self.requested, self.bodies = routes or {}, context, [], {}
        self.host_port = "127.0.0.1:%d" % self.server_address[1]
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def body_of(self, path, route) -> bytes:
        """The bytes a route sends, made once: a large page is built a single time."""
        key = (path, repr(route))
        if key not in self.bodies:
            self.bodies[key] = route_body(route)
        return self.bodies[key]

    def finish_request(self, request, client_address):
        if self.context is not None:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return  # the client refused the certificate
        self.RequestHandlerClass(request, client_address, self)

    def handle_error(self, request, client_address):
        pass  # clients that give up halfway are what some cases are about

    def stop(self):
        self.shutdown()
        self.server_close()


class SmtpHandler(socketserver.StreamRequestHandler):
    def handle(self):
        server, envelope = self.server, {"mail_from": None, "rcpt_tos": []}
        server.sessions.append(self.client_address)
        if not self.reply("greeting"):
            return
        for line in self.rfile:
            verb, _, argument = line.decode("latin-1").rstrip("\r\n").partition(" ")
            verb = verb.upper()
            if verb == "MAIL" and (size_in(argument) or 0) > server.size_limit():
                self.wfile.write(b"552 5.3.4 Message size exceeds fixed maximum message size\r\n")
                continue
            if verb == "MAIL" and server.answer("MAIL").startswith("2"):
                envelope = {"mail_from": address_in(argument), "rcpt_tos": [], "size": size_in(argument)}
            elif verb == "RCPT" and server.answer("RCPT").startswith("2"):
                envelope["rcpt_tos"].append(address_in(argument))
            elif verb == "DATA" and server.answer("DATA").startswith("354"):
                self.reply("DATA")
                raw = self.read_data()
                if raw is None:
                    return
                if server.answer("END").startswith("2"):
                    server.keep(dict(envelope, raw=raw, login=None, problems=size_problems(server, envelope, raw)))
                verb = "END"
            if not self.reply(verb if verb in server.replies else "unknown") or verb == "QUIT":
                return

    def read_data(self):
        lines = []
        if "idle" in self.server.replies:  # a server's time-out on a silent client
            self.connection.settimeout(float(self.server.replies["idle"]))
        try:
            for line in self.rfile:
                if line == b".\r\n":
                    return b"".join(lines)
                lines.append(line[1:] if line.startswith(b".") else line)
        except TimeoutError:
            self.wfile.write(b"421 4.4.2 Idle too long\r\n")
        finally:
            self.connection.settimeout(None)
        return None

    def reply(self, what) -> bool:
        wait, text = self.server.replies.get(what, ""), self.server.answer(what)
        if wait.startswith("wait "):
            self.server.stopping.wait(float(wait.split(" ", 2)[1]))
        if text == "stall":
            self.server.stopping.wait()
        if text in ("close", "stall"):
            return False
        self.wfile.write(text.encode("latin-1") + b"\r\n")
        return True


def size_in(argument):
    """The SIZE= of a MAIL FROM argument, or None."""
    sizes = [word[5:] for word in argument.split() if word.upper().startswith("SIZE=")]
    return int(sizes[0]) if sizes else None


def size_problems(server, envelope, raw) -> list:
    """A size declared to a server that offers SIZE must be the message's exact size. A session
    opened while the page downloads declares none: its MAIL FROM leaves before the message is
    made, and a message over the server's limit goes on a fresh session that declares it."""
    if not any(line[4:8] == "SIZE" for line in server.answer("EHLO").split("\r\n")):
        return []
    if envelope.get("size") not in (None, len(raw)):
        return ["SIZE=%s declared for a message of %d bytes" % (envelope.get("size"), len(raw))]
    return []


def address_in(argument) -> str:
    """The address between < and > of a MAIL FROM or RCPT TO argument."""
    return argument.partition("<")[2].partition(">")[0]


class SmtpServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, replies=None):
        super().__init__(("127.0.0.1", 0), SmtpHandler)
        self.replies, self.messages, self.sessions, self.stopping = {}, [], [], threading.Event()
        self.script(replies)
        self.host_port = "127.0.0.1:%d" % self.server_address[1]
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def script(self, replies):
        self.replies = dict(DEFAULT_REPLIES, unknown="502 Command not implemented", **(replies or {}))

    def size_limit(self):
        """The SIZE the answer to EHLO offers: 0 for none, no limit then."""
        sizes = [int(line[8:]) for line in self.answer("EHLO").split("\r\n") if line[4:9] == "SIZE "]
        return sizes[0] if sizes and sizes[0] else float("inf")

    def answer(self, what) -> str:
        """The reply to `what`, without the "wait SECONDS " that may delay it."""
        text = self.replies.get(what, "")
        return text.split(" ", 2)[2] if text.startswith("wait ") else text

    def handle_error(self, request, client_address):
        pass

    def keep(self, message):
        """Takes an accepted message: its envelope, its bytes as received and the sign-in."""
        self.messages.append(message)

    def stop(self):
        self.stopping.set()
        self.shutdown()
        self.server_close()


class SecureSmtpServer:
    """aiosmtpd on loopback: STARTTLS (`context`), or TLS from the first byte (`implicit`), and
    sign-in against `logins` (offer_auth = False leaves AUTH out of the answer to EHLO; echo_auth =
    True refuses a sign-in with the client's own PLAIN answer in the reply). `dialogue`
    gets what each session sent, with whether it was encrypted, so that a test can prove what
    crossed the wire in clear."""

    def __init__(self, context=None, implicit=False, logins=None, require_starttls=False,
                 auth_require_tls=True, offer_auth=True, echo_auth=False):
        from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

        # Clients that refuse a certificate make aiosmtpd complain; the cases cause it on purpose.
        logging.getLogger("mail.log").setLevel(logging.CRITICAL)
        warnings.filterwarnings("ignore", "Session.login_data")

        self.messages, self.dialogue = [], []
        outer = self

        class Handler:
            def authenticate(self, server, session, envelope, mechanism, data):
                ok = isinstance(data, LoginPassword) and (logins or {}).get(
                    data.login.decode()) == data.password.decode()
                echo = echo_auth and not ok and isinstance(data, LoginPassword)
                said = base64.b64encode(b"\0" + data.login + b"\0" + data.password).decode() if echo else ""
                return AuthResult(success=ok, handled=False, auth_data=data,
                                  message="535 5.7.8 Not accepted: " + said if echo else None)

            async def handle_DATA(self, server, session, envelope):
                login = session.auth_data.login.decode() if session.authenticated else None
                outer.messages.append(dict(mail_from=envelope.mail_from, rcpt_tos=envelope.rcpt_tos,
                                           raw=envelope.original_content, login=login))
                return "250 Message accepted"

        class RecordingSmtp(SMTP):
            def data_received(self, data):
                encrypted = implicit or self._tls_protocol is not None
                outer.dialogue.append((id(self), encrypted, data))
                super().data_received(data)

            async def push(self, status):
                if offer_auth or not status.startswith("250-AUTH"):
                    await super().push(status)

        handler = Handler()
        options = dict(decode_data=False, hostname="smtp.test", auth_require_tls=auth_require_tls)
        if context is not None and not implicit:
            options.update(tls_context=context, require_starttls=require_starttls)
        if logins is not None:
            options["authenticator"] = handler.authenticate
        self.loop = asyncio.new_event_loop()
        server = self.loop.run_until_complete(self.loop.create_server(
            lambda: RecordingSmtp(handler, **options), "127.0.0.1", 0,
            ssl=context if implicit else None))
        self.host_port = "127.0.0.1:%d" % server.sockets[0].getsockname()[1]
        self.server = server
        threading.Thread(target=self.loop.run_forever, daemon=True).start()

    def sent_in_clear(self) -> bytes:
        return b"".join(data for _, encrypted, data in self.dialogue if not encrypted)

    def stop(self):
        self.loop.call_soon_threadsafe(self.server.close)
        self.loop.call_soon_threadsafe(self.loop.stop)


def closed_port() -> str:
    """127.0.0.1:<port> where nothing listens."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "127.0.0.1:%d" % probe.getsockname()[1]
