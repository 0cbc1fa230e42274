"""Runs the real webletter executable in batch mode, end to end.

Each test gets a folder of its own holding a copy of the executable and the webletter.ini that
the test writes, a page server (tests/support/http_server.py, with a few pages of these tests'
own) and an SMTP server (tests/support/smtp_server.py) on loopback. A run gives back the exit
status, standard error, webletter.log and the messages the SMTP server received, read with
Python's email package. Every run also checks that the settings file is left as it was: a
batch run never writes to it, section Default included.

Environment: WEBLETTER_EXE names the built executable.
"""

import dataclasses
import email
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

# Standard messages the runs below meet, as the program's table words them.
FETCH_PAGE_NOT_FOUND = "The page was not found on the web server (HTTP 404 or 410)"
FETCH_UNSUPPORTED_SCHEME = (
    "The page address must start with http:// or https://; other kinds of address are not fetched"
)
FETCH_TLS_FAILED = "The secure connection to the web server failed"
FETCH_CANNOT_CONNECT = (
    "Could not connect to the web server: the connection was refused or the server is unreachable"
)
MAIL_CANNOT_CONNECT = (
    "Could not connect to the mail server: the connection was refused or the server is unreachable"
)
MAIL_RECIPIENT_REFUSED = "The mail server refused the recipient's address"
OVERFLOW = "Overflow"

# The date and time in front of a log entry and of the error mail's text, in the C.UTF-8 locale
# the tests run in: the short date and the long time.
DATE_TIME = r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d"

LOWER_MARKER_PAGE = b'<html><head><meta name="webletterCheck" content="1"></head></html>\n'
MARKER_IN_BODY_PAGE = b'<html><body><p>x</p><META NAME="webletterCheck"></body></html>\n'


class Handler(http_server.Handler):
    """The shared test server's routes, two pages more, and a record of every path asked for."""

    def do_GET(self):
        self.server.requested.append(self.path)
        extra = {"/lower-marker": LOWER_MARKER_PAGE, "/marker-in-body": MARKER_IN_BODY_PAGE}
        if self.path in extra:
            self.send_body(200, extra[self.path])
        else:
            super().do_GET()


@dataclasses.dataclass
class Received:
    mail_from: str
    rcpt_tos: List[str]
    message: email.message.EmailMessage
    login: Optional[str] = None  # the user the client signed in as

    def header(self, name) -> Optional[str]:
        value = self.message[name]
        return None if value is None else str(value)

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
        starts = [m.start() for m in re.finditer("^" + DATE_TIME + "  ", text, re.MULTILINE)]
        entries = [text[a:b] for a, b in zip(starts, starts[1:] + [len(text)])]
        return [entry[entry.index("  ") + 2:] for entry in entries]


def closed_port() -> str:
    """127.0.0.1:<port> of a port where nothing listens."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return "127.0.0.1:%d" % probe.getsockname()[1]


class BatchTestCase(unittest.TestCase):
    """A folder with the executable, a page server and an SMTP server for each test."""

    smtp_fault: Optional[str] = None

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="webletter-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.exe = os.path.join(self.folder, "webletter")
        shutil.copy2(os.environ["WEBLETTER_EXE"], self.exe)

        self.http = http_server.Server(("127.0.0.1", 0), Handler)
        self.http.requested = []
        threading.Thread(target=self.http.serve_forever, daemon=True).start()
        self.addCleanup(self.http.server_close)
        self.addCleanup(self.http.shutdown)
        self.web = "127.0.0.1:%d" % self.http.server_address[1]

        self.smtp = smtp_server.start(os.path.join(self.folder, "smtp"), fault=self.smtp_fault)
        self.addCleanup(self.smtp.stop)

    def page_url(self, path="/page") -> str:
        return "http://" + self.web + path

    def default_section(self, **overrides) -> str:
        """A section Default that makes a working job: a page, both addresses, the server."""
        values = {
            "URL": self.page_url(),
            "ToName": "Reader",
            "ToAddress": "reader@example.org",
            "FromName": "Editor",
            "FromAddress": "editor@example.org",
            "SMTPserver": self.smtp.host_port,
            "Subject": "Weekly news",
            "ErrorsGoTo": "admin@example.org",
            "ErrorsFrom": "robot@example.org",
        }
        values.update(overrides)
        return section("Default", values)

    def news(self, **values) -> str:
        """Settings with a found section news holding `values`, over default_section()."""
        return section("news", dict({"ToName": "Reader"}, **values)) + self.default_section()

    def run_batch(
        self, command_line, ini: Optional[str] = None, folder=None, exe=None, env=None
    ) -> Run:
        """Runs `command_line` (one argument, or a list of them) with `ini` as the settings;
        `env` sets further environment variables (None removes one)."""
        folder = folder or self.folder
        exe = exe or self.exe
        ini_path = os.path.join(folder, "webletter.ini")
        if ini is not None:
            with open(ini_path, "wb") as out:
                out.write(ini.encode("utf-8", "surrogateescape"))
        before = read_or_none(ini_path)
        log_path = os.path.join(folder, "webletter.log")
        if os.path.exists(log_path):
            os.remove(log_path)
        arguments = [command_line] if isinstance(command_line, str) else list(command_line)
        # Without a display, message boxes go to standard error.
        environment = dict(os.environ)
        environment.pop("DISPLAY", None)
        environment.pop("WAYLAND_DISPLAY", None)
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        done = subprocess.run(
            [exe] + arguments,
            env=environment,
            cwd=self.folder,
            stdin=subprocess.DEVNULL,
            capture_output=True,
            timeout=RUN_TIMEOUT_SECONDS,
        )
        self.assertEqual(read_or_none(ini_path), before, "a batch run must not write the settings")
        stderr = done.stderr.decode("utf-8", "surrogateescape")
        self.assertNotIn("Sanitizer", stderr)
        received = [
            Received(m.mail_from, m.rcpt_tos, parse(m.raw), m.login) for m in self.smtp.messages()
        ]
        for path in os.listdir(self.smtp.options.folder):
            os.remove(os.path.join(self.smtp.options.folder, path))
        return Run(done.returncode, stderr, read_or_none(log_path), received)

    # Assertions shared by the themes.

    def assert_failed(self, run: Run, log_entry: str):
        """The job failed and logged exactly `log_entry` (mode "log"); nothing was sent."""
        self.assertEqual(run.exit_status, 1, run.stderr)
        self.assertEqual(run.log_entries(), [log_entry])
        self.assertEqual(run.received, [])
        self.assertEqual(run.stderr, "")

    def assert_sent(self, run: Run, logged=True):
        """The job sent one page and, when `logged`, logged its success for section news."""
        self.assertEqual(run.exit_status, 0, run.stderr + repr(run.log))
        self.assertEqual(run.stderr, "")
        self.assertEqual(len(run.received), 1)
        if logged:
            self.assertEqual(run.log_entries(), ["Entry 'news' succesfully sent.\r\n"])


def section(name, values) -> str:
    return "[%s]\n" % name + "".join("%s=%s\n" % item for item in values.items())


def parse(raw: bytes) -> email.message.EmailMessage:
    return email.message_from_bytes(raw, policy=email.policy.default)


def read_or_none(path) -> Optional[bytes]:
    try:
        with open(path, "rb") as source:
            return source.read()
    except FileNotFoundError:
        return None
