"""Runs the real webletter executable (WEBLETTER_EXE) in batch mode, end to end.

Each test gets a folder with a copy of the executable and the webletter.ini the test writes, and
page and SMTP servers on loopback (tests/support). A run gives back the exit status, standard
error, webletter.log and the messages received, read with Python's email package. Every run
checks that the settings file is left untouched, and gets an empty HOME of its own unless the
test sets one, so that no developer's ~/.netrc counts.
"""

import dataclasses
import email.parser
import email.policy
import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import unittest
from typing import List, Optional

import http_server
import smtp_server

RUN_TIMEOUT_SECONDS = 120

# The date and time in front of a log entry and of the error mail's text, in the C.UTF-8 locale
# the tests run in: the short date and the long time.
DATE_TIME = r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d"


class Text:
    """Standard messages the runs meet, as the program's table words them."""

    FETCH_NOT_FOUND = "The page was not found on the web server (HTTP 404 or 410)"
    FETCH_UNSUPPORTED_SCHEME = (
        "The page address must start with http:// or https://; other kinds of address are not fetched"
    )
    FETCH_TLS_FAILED = "The secure connection to the web server failed"
    FETCH_CERTIFICATE_INVALID = (
        "The web server's certificate could not be verified, so the page was not fetched"
    )
    FETCH_CONNECTION_BROKEN = "The web server broke off the connection or sent an invalid response"
    FETCH_BAD_CONTENT = "The page's compressed content could not be decoded"
    FETCH_TOO_MANY_REDIRECTS = "The page redirects too many times"
    MAIL_CANNOT_CONNECT = (
        "Could not connect to the mail server: the connection was refused or the server is unreachable"
    )
    MAIL_ADDRESS_INVALID = "An e-mail address is not one valid address such as name@example.org"
    MAIL_SERVER_REFUSED = "The mail server refused the connection"
    MAIL_SENDER_REFUSED = "The mail server refused the sender's address"
    MAIL_RECIPIENT_REFUSED = "The mail server refused the recipient's address"
    MAIL_MESSAGE_REFUSED = "The mail server refused the message"
    MAIL_CONNECTION_CLOSED = "The mail server closed the connection before the message was accepted"
    MAIL_CERTIFICATE_INVALID = "The mail server's certificate could not be verified, so nothing was sent"
    MAIL_LOGIN_DENIED = "The mail server refused the sign-in: check the user name and password"
    MAIL_NO_ENCRYPTION = "The mail server offers no encryption, so the password was not sent"
    OVERFLOW = "Overflow"


class Handler(http_server.Handler):
    """The shared routes, a page with a lower-case marker, and a record of every path asked for."""

    def do_GET(self):
        self.server.requested.append(self.path)
        if self.path == "/lower-marker":
            self.send_body(200, b'<html><head><meta name="webletterCheck" content="1"></head>\n')
        else:
            super().do_GET()


@dataclasses.dataclass
class Received:
    mail_from: str
    rcpt_tos: List[str]
    message: email.message.EmailMessage
    login: Optional[str] = None  # the user the client signed in as

    def body(self) -> bytes:
        return self.message.get_payload(decode=True) or b""


@dataclasses.dataclass
class Run:
    exit_status: int
    stderr: str
    log: Optional[bytes]  # None when no log file was written
    received: List[Received]

    def log_entries(self) -> List[str]:
        """The log's entries without their dates; an entry's further lines stay with it."""
        if self.log is None:
            return []
        text = self.log.decode("utf-8", "surrogateescape")
        pieces = re.split("^%s  " % DATE_TIME, text, flags=re.MULTILINE)
        return pieces[1:] if pieces[0] == "" else ["undated: " + text]


class BatchTestCase(unittest.TestCase):
    """A folder with the executable, a page server and an SMTP server for each test."""

    def setUp(self):
        self.folder = self.empty_folder()
        self.exe = os.path.join(self.folder, "webletter")
        shutil.copy2(os.environ["WEBLETTER_EXE"], self.exe)
        self.http = self.serve_web(http_server.Server(("127.0.0.1", 0), Handler))
        self.web = "127.0.0.1:%d" % self.http.server_address[1]
        self.start_smtp()

    def empty_folder(self) -> str:
        folder = tempfile.mkdtemp(prefix="webletter-e2e-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        return folder

    def serve_web(self, server):
        server.requested = []
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        return server

    def start_smtp(self, **options):
        """Starts the SMTP server that the following runs send through and read back."""
        self.smtp = smtp_server.start(self.empty_folder(), **options)
        self.addCleanup(self.smtp.stop)
        return self.smtp

    def page_url(self, path="/page") -> str:
        return "http://" + self.web + path

    def default_section(self, **overrides) -> str:
        """A section Default that makes a working job: a page, both addresses, the server."""
        values = dict(URL=self.page_url(), ToName="Reader", ToAddress="reader@example.org",
                      FromName="Editor", FromAddress="editor@example.org",
                      SMTPserver=self.smtp.host_port, Subject="Weekly news",
                      ErrorsGoTo="admin@example.org", ErrorsFrom="robot@example.org")
        return section("Default", dict(values, **overrides))

    def news(self, **values) -> str:
        """Settings with a found section news holding `values`, over default_section()."""
        return section("news", dict({"ToName": "Reader"}, **values)) + self.default_section()

    def run_batch(self, command_line, ini: Optional[str] = None, folder=None, env=None) -> Run:
        """Runs the executable in `folder` with `command_line` (one argument, or a list of them)
        and `ini` as its settings; `env` sets further environment variables (None removes one)."""
        folder = folder or self.folder
        ini_path = os.path.join(folder, "webletter.ini")
        if ini is not None:
            with open(ini_path, "wb") as out:
                out.write(ini.encode("utf-8", "surrogateescape"))
        before = read_or_none(ini_path), modified(ini_path)
        log_path = os.path.join(folder, "webletter.log")
        if os.path.exists(log_path):
            os.remove(log_path)
        # Without a display, message boxes go to standard error.
        environment = dict(os.environ, HOME=self.empty_folder())
        for name, value in dict(env or {}, DISPLAY=None, WAYLAND_DISPLAY=None).items():
            environment.pop(name, None)
            if value is not None:
                environment[name] = value
        arguments = [command_line] if isinstance(command_line, str) else list(command_line)
        done = subprocess.run([os.path.join(folder, "webletter")] + arguments, env=environment,
                              cwd=self.folder, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=RUN_TIMEOUT_SECONDS)
        after = read_or_none(ini_path), modified(ini_path)
        self.assertEqual(after, before, "a batch run must not write the settings")
        stderr = done.stderr.decode("utf-8", "surrogateescape")
        self.assertNotIn("Sanitizer", stderr)
        parse = email.parser.BytesParser(policy=email.policy.default).parsebytes
        messages = self.smtp.messages()
        received = [Received(m.mail_from, m.rcpt_tos, parse(m.raw), m.login) for m in messages]
        for path in os.listdir(self.smtp.options.folder):
            os.remove(os.path.join(self.smtp.options.folder, path))
        return Run(done.returncode, stderr, read_or_none(log_path), received)

    def assert_failed(self, run: Run, *lines):
        """The job failed and logged exactly the error `lines` (mode "log"); nothing was sent."""
        self.assertEqual(run.exit_status, 1, run.stderr)
        self.assertEqual(run.log_entries(), ["Error: " + "".join(l + "\r\n" for l in lines)])
        self.assertEqual(run.received, [])
        self.assertEqual(run.stderr, "")

    def assert_sent(self, run: Run, logged=True):
        """The job sent one page and, when `logged`, logged its success for section news."""
        self.assertEqual(run.exit_status, 0, run.stderr + repr(run.log))
        self.assertEqual(run.stderr, "")
        self.assertEqual(len(run.received), 1)
        if logged:
            self.assertEqual(run.log_entries(), ["Entry 'news' succesfully sent.\r\n"])

    def assert_outcome(self, run: Run, *error_lines):
        """assert_sent() without error lines (None counts as none), assert_failed() with them."""
        error_lines = [line for line in error_lines if line is not None]
        if error_lines:
            self.assert_failed(run, *error_lines)
        else:
            self.assert_sent(run)


def section(name, values) -> str:
    return "[%s]\n" % name + "".join("%s=%s\n" % item for item in values.items())


def fetch_failed(url, text) -> str:
    return "Page '%s' could not be fetched: %s" % (url, text)


def closed_port() -> str:
    """127.0.0.1:<port> of a port where nothing listens."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "127.0.0.1:%d" % probe.getsockname()[1]


def modified(path) -> Optional[int]:
    return os.stat(path).st_mtime_ns if os.path.exists(path) else None


def read_or_none(path) -> Optional[bytes]:
    try:
        with open(path, "rb") as source:
            return source.read()
    except FileNotFoundError:
        return None
