"""Secure delivery and hostile servers, end to end: the real executable against SMTP servers with
STARTTLS, implicit TLS and sign-in, web servers over https, and servers that misbehave on purpose.

The program trusts the tests' own authority (pki.py) only through SSL_CERT_FILE or SSL_CERT_DIR
in its environment. Every run gets a HOME of its own, so that only the tests' ~/.netrc counts.
What crossed the wire in clear is read from the SMTP server's own record of the dialogue.
Each class is one theme; ctest runs each class as a test of its own.
"""

import base64
import binascii
import json
import logging
import os
import re
import shutil
import tempfile
import threading
import unittest
import urllib.parse

import http_server
import pki
import smtp_server
from batch_harness import BatchTestCase, Handler, Run

MAIL_SERVER_REFUSED = "The mail server refused the connection"
MAIL_SENDER_REFUSED = "The mail server refused the sender's address"
MAIL_RECIPIENT_REFUSED = "The mail server refused the recipient's address"
MAIL_MESSAGE_REFUSED = "The mail server refused the message"
MAIL_CONNECTION_CLOSED = "The mail server closed the connection before the message was accepted"
MAIL_CERTIFICATE_INVALID = (
    "The mail server's certificate could not be verified, so nothing was sent"
)
MAIL_LOGIN_DENIED = "The mail server refused the sign-in: check the user name and password"
MAIL_NO_ENCRYPTION = "The mail server offers no encryption, so the password was not sent"
FETCH_CERTIFICATE_INVALID = (
    "The web server's certificate could not be verified, so the page was not fetched"
)
FETCH_CONNECTION_BROKEN = "The web server broke off the connection or sent an invalid response"
FETCH_BAD_CONTENT = "The page's compressed content could not be decoded"
FETCH_TOO_MANY_REDIRECTS = "The page redirects too many times"
FETCH_UNSUPPORTED_SCHEME = (
    "The page address must start with http:// or https://; other kinds of address are not fetched"
)
FETCH_PAGE_NOT_FOUND = "The page was not found on the web server (HTTP 404 or 410)"

USER = "editor@example.org"
PASSWORD = "p\u00e4ss w:rd@1"  # needs percent-encoding in an address
WRONG_PASSWORD = "not-the-password"
NETRC_PASSWORD = "n3trc-secret"

# Servers whose clients fail the handshake make asyncio and aiosmtpd complain; the tests cause it.
logging.getLogger("asyncio").setLevel(logging.CRITICAL)
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def quoted(text) -> str:
    return urllib.parse.quote(text, safe="")


def with_login(scheme, port, user=USER, password=PASSWORD) -> str:
    return "%s://%s:%s@127.0.0.1:%d" % (scheme, quoted(user), quoted(password), port)


def forms_of(user, password):
    """The ways a password can cross the wire: as itself and in each SASL mechanism's base64."""
    raw_user, raw_password = user.encode(), password.encode()
    plain = [
        b"\0%s\0%s" % (raw_user, raw_password),
        b"%s\0%s\0%s" % (raw_user, raw_user, raw_password),
    ]
    return [raw_password] + [base64.b64encode(form) for form in [raw_password] + plain]


class SecureTestCase(BatchTestCase):
    """A test authority for the class; for each test a HOME and a record of the SMTP dialogue."""

    @classmethod
    def setUpClass(cls):
        cls.pki_folder = tempfile.mkdtemp(prefix="webletter-pki-")
        cls.pki = pki.TestPki(cls.pki_folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.pki_folder, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.home = os.path.join(self.folder, "home")
        os.makedirs(self.home)
        self.dialogue_log = os.path.join(self.folder, "dialogue.jsonl")

    def use_smtp(self, certificate=None, implicit=False, **options):
        """Starts an SMTP server that the following runs send through and read back. With a
        `certificate`, it offers STARTTLS, or speaks TLS from the first byte when `implicit`."""
        if certificate is not None:
            context = self.pki.server_context(certificate)
            options["implicit_tls" if implicit else "starttls"] = context
        if implicit:
            options.setdefault("auth_require_tls", False)  # aiosmtpd sees STARTTLS only
        folder = tempfile.mkdtemp(prefix="smtp-", dir=self.folder)
        self.smtp = smtp_server.start(folder, dialogue_log=self.dialogue_log, **options)
        self.addCleanup(self.smtp.stop)
        if os.path.exists(self.dialogue_log):
            os.remove(self.dialogue_log)
        return self.smtp

    def write_netrc(self, text):
        path = os.path.join(self.home, ".netrc")
        with open(path, "w", encoding="utf-8") as netrc:
            netrc.write(text)
        os.chmod(path, 0o600)

    def run_job(self, server_value, trust="file", mode="log", **values) -> Run:
        """Runs section news through `server_value`, trusting the test authority through
        SSL_CERT_FILE ("file"), SSL_CERT_DIR ("dir") or not at all (None)."""
        environment = {"HOME": self.home, "SSL_CERT_FILE": None, "SSL_CERT_DIR": None}
        if trust == "file":
            environment["SSL_CERT_FILE"] = self.pki.ca_file
        if trust == "dir":
            environment["SSL_CERT_DIR"] = self.pki.ca_dir
        ini = self.news(SMTPserver=server_value, **values)
        return self.run_batch("news," + mode if mode else "news", ini, env=environment)

    # The server's record of what the client sent.

    def sent_text(self, encrypted):
        """Everything the client sent in clear (or encrypted), one text per connection."""
        sessions = {}
        if os.path.exists(self.dialogue_log):
            with open(self.dialogue_log, encoding="utf-8") as log:
                for line in log:
                    piece = json.loads(line)
                    if piece["tls"] == encrypted:
                        data = piece["data"].encode("latin-1")
                        sessions[piece["session"]] = sessions.get(piece["session"], b"") + data
        return list(sessions.values())

    def assert_never_in_clear(self, user, password):
        for text in self.sent_text(encrypted=False):
            self.assertNotRegex(text, rb"(?im)^AUTH\b", "a sign-in in clear")
            for form in forms_of(user, password):
                self.assertNotIn(form, text)
            for token in re.findall(rb"[A-Za-z0-9+/=]{4,}", text):
                try:
                    decoded = base64.b64decode(token + b"=" * (-len(token) % 4))
                except binascii.Error:
                    continue
                self.assertNotIn(password.encode(), decoded)

    def assert_signed_in_encrypted(self):
        """The sign-in, and the message, went over an encrypted connection."""
        encrypted = b"".join(self.sent_text(encrypted=True)).upper()
        self.assertIn(b"AUTH ", encrypted)
        self.assertIn(b"MAIL FROM:", encrypted)


class StartTlsTest(SecureTestCase):
    def test_every_form_of_address_uses_starttls_when_the_server_offers_it(self):
        for form in ["127.0.0.1:%d", "smtp://127.0.0.1:%d", "smtp://127.0.0.1:%d/"]:
            with self.subTest(form):
                server = self.use_smtp("good")
                run = self.run_job(form % server.port)
                self.assert_sent(run)
                self.assertEqual(run.received[0].body(), http_server.PAGE)
                clear = b"".join(self.sent_text(encrypted=False)).upper()
                self.assertIn(b"STARTTLS", clear)
                self.assertNotIn(b"MAIL FROM", clear)
                self.assertNotIn(b"SUBJECT:", clear)

    def test_a_mailing_with_sign_in_arrives_intact_and_the_password_stays_encrypted(self):
        server = self.use_smtp("good", require_starttls=True, logins={USER: PASSWORD})
        run = self.run_job(with_login("smtp", server.port))
        self.assert_sent(run)
        mail = run.received[0]
        self.assertEqual(mail.login, USER)
        self.assertEqual(mail.body(), http_server.PAGE)
        self.assertEqual(mail.header("Subject"), "Weekly news")
        self.assertEqual(mail.rcpt_tos, ["reader@example.org"])
        self.assert_never_in_clear(USER, PASSWORD)
        self.assert_signed_in_encrypted()

    def test_a_failing_sign_in_sends_nothing_and_never_shows_the_password(self):
        logins = {USER: PASSWORD}
        cases = [
            ("wrong password", {"certificate": "good"}, WRONG_PASSWORD, "file", MAIL_LOGIN_DENIED),
            (
                "untrusted authority",
                {"certificate": "good"},
                PASSWORD,
                None,
                MAIL_CERTIFICATE_INVALID,
            ),
            (
                "no STARTTLS, sign-in offered in clear",
                {"auth_require_tls": False},
                PASSWORD,
                "file",
                MAIL_NO_ENCRYPTION,
            ),
            (
                "STARTTLS not offered, sign-in never offered",
                {},
                PASSWORD,
                "file",
                MAIL_NO_ENCRYPTION,
            ),
        ]
        for name, options, password, trust, text in cases:
            with self.subTest(name):
                server = self.use_smtp(logins=logins, **options)
                run = self.run_job(with_login("smtp", server.port, password=password), trust)
                self.assert_never_in_clear(USER, password)
                self.assert_failed(run, "Error: %s\r\n" % text)
                self.assertNotIn(password.encode(), run.log)


class ImplicitTlsTest(SecureTestCase):
    def test_sign_in_from_netrc_through_implicit_tls_arrives_intact(self):
        self.write_netrc(
            "machine other.example.org login nobody password nothing\n"
            'machine 127.0.0.1\n  login %s\n  password "%s"\n' % (USER, PASSWORD)
        )
        server = self.use_smtp("good", implicit=True, logins={USER: PASSWORD})
        run = self.run_job("smtps://127.0.0.1:%d" % server.port)
        self.assert_sent(run)
        self.assertEqual(run.received[0].login, USER)
        self.assertEqual(run.received[0].body(), http_server.PAGE)
        self.assertEqual(self.sent_text(encrypted=False), [])
        self.assert_signed_in_encrypted()

    def test_credentials_come_from_the_address_first_then_from_netrc(self):
        self.write_netrc(
            "machine 127.0.0.1 login stranger@example.org password %s\n"
            "machine 127.0.0.1 login %s password %s\n" % (WRONG_PASSWORD, USER, NETRC_PASSWORD)
        )
        logins = {USER: NETRC_PASSWORD, "stranger@example.org": PASSWORD}
        cases = [
            (
                "the address's own, over netrc's",
                lambda port: with_login("smtps", port, "stranger@example.org", PASSWORD),
                "stranger@example.org",
            ),
            (
                "netrc's password for the address's user",
                lambda port: "smtps://%s@127.0.0.1:%d" % (quoted(USER), port),
                USER,
            ),
        ]
        for name, address, login in cases:
            with self.subTest(name):
                server = self.use_smtp("good", implicit=True, logins=logins)
                run = self.run_job(address(server.port))
                self.assert_sent(run)
                self.assertEqual(run.received[0].login, login)

    def test_netrc_credentials_are_never_sent_in_clear_either(self):
        self.write_netrc("machine 127.0.0.1 login %s password %s\n" % (USER, NETRC_PASSWORD))
        logins = {USER: NETRC_PASSWORD}
        cases = [
            ("a server offering sign-in in clear", {"auth_require_tls": False}, MAIL_NO_ENCRYPTION),
            ("a server offering STARTTLS", {"certificate": "good"}, None),
        ]
        for name, options, failure in cases:
            with self.subTest(name):
                server = self.use_smtp(logins=logins, **options)
                run = self.run_job("127.0.0.1:%d" % server.port)
                self.assert_never_in_clear(USER, NETRC_PASSWORD)
                if failure is None:
                    self.assert_sent(run)
                    self.assertEqual(run.received[0].login, USER)
                    self.assert_signed_in_encrypted()
                else:
                    self.assert_failed(run, "Error: %s\r\n" % failure)


class CertificateTest(SecureTestCase):
    def test_a_certificate_that_fails_verification_stops_the_mailing(self):
        for certificate in ["expired", "self-signed", "other-host"]:
            for implicit in [False, True]:
                with self.subTest(certificate=certificate, implicit=implicit):
                    server = self.use_smtp(certificate, implicit=implicit)
                    scheme = "smtps" if implicit else "smtp"
                    run = self.run_job("%s://127.0.0.1:%d" % (scheme, server.port))
                    self.assert_failed(run, "Error: %s\r\n" % MAIL_CERTIFICATE_INVALID)
                    self.assertNotIn(b"MAIL FROM", b"".join(self.sent_text(encrypted=False)))

    def test_the_trust_store_comes_from_ssl_cert_file_or_ssl_cert_dir(self):
        cases = [("file", None), ("dir", None), (None, MAIL_CERTIFICATE_INVALID)]
        for trust, failure in cases:
            for implicit in [False, True]:
                with self.subTest(trust=trust, implicit=implicit):
                    server = self.use_smtp("good", implicit=implicit)
                    scheme = "smtps" if implicit else "smtp"
                    run = self.run_job("%s://127.0.0.1:%d" % (scheme, server.port), trust)
                    if failure is None:
                        self.assert_sent(run)
                    else:
                        self.assert_failed(run, "Error: %s\r\n" % failure)


class HttpsPageTest(SecureTestCase):
    def test_pages_over_https_are_fetched_only_with_a_verified_certificate(self):
        cases = [
            ("good", "file", None),
            ("good", "dir", None),
            ("good", None, FETCH_CERTIFICATE_INVALID),
            ("expired", "file", FETCH_CERTIFICATE_INVALID),
            ("self-signed", "file", FETCH_CERTIFICATE_INVALID),
            ("other-host", "file", FETCH_CERTIFICATE_INVALID),
        ]
        for certificate, trust, failure in cases:
            with self.subTest(certificate=certificate, trust=trust):
                web = http_server.TlsServer(
                    ("127.0.0.1", 0), Handler, self.pki.server_context(certificate)
                )
                web.requested = []
                threading.Thread(target=web.serve_forever, daemon=True).start()
                self.addCleanup(web.server_close)
                self.addCleanup(web.shutdown)
                url = "https://127.0.0.1:%d/page" % web.server_address[1]
                run = self.run_job(self.smtp.host_port, trust, URL=url)
                if failure is None:
                    self.assert_sent(run)
                    self.assertEqual(run.received[0].body(), http_server.PAGE)
                else:
                    line = "Page '%s' could not be fetched: %s\r\n" % (url, failure)
                    self.assert_failed(run, "Error: " + line)


class SmtpFaultTest(SecureTestCase):
    def test_a_misbehaving_mail_server_ends_the_job_with_its_own_text(self):
        cases = [
            ("refuse-greeting", 554, MAIL_SERVER_REFUSED),
            ("refuse-greeting", 421, MAIL_SERVER_REFUSED),
            ("refuse-ehlo", 550, MAIL_SERVER_REFUSED),
            ("refuse-ehlo", 421, MAIL_SERVER_REFUSED),
            ("refuse-sender", 550, MAIL_SENDER_REFUSED),
            ("refuse-sender", 451, MAIL_SENDER_REFUSED),
            ("refuse-recipient", 550, MAIL_RECIPIENT_REFUSED),
            ("refuse-recipient", 450, MAIL_RECIPIENT_REFUSED),
            ("refuse-data", 554, MAIL_MESSAGE_REFUSED),
            ("refuse-data", 451, MAIL_MESSAGE_REFUSED),
            ("refuse-message", 554, MAIL_MESSAGE_REFUSED),
            ("refuse-message", 451, MAIL_MESSAGE_REFUSED),
            ("close-in-data", None, MAIL_CONNECTION_CLOSED),
        ]
        for fault, code, text in cases:
            with self.subTest(fault=fault, code=code):
                server = self.use_smtp(fault=fault, refuse_code=code)
                run = self.run_job(server.host_port)
                self.assert_failed(run, "Error: %s\r\n" % text)


class HttpFaultTest(SecureTestCase):
    def test_a_misbehaving_web_server_ends_the_job_before_anything_is_sent(self):
        cases = [
            ("/reset", FETCH_CONNECTION_BROKEN),
            ("/truncated", FETCH_CONNECTION_BROKEN),
            ("/nothing", FETCH_CONNECTION_BROKEN),
            ("/bad-chunked", FETCH_CONNECTION_BROKEN),
            ("/bad-gzip", FETCH_BAD_CONTENT),
            ("/loop", FETCH_TOO_MANY_REDIRECTS),
            ("/redirect-file", FETCH_UNSUPPORTED_SCHEME),
            ("/redirect-ftp", FETCH_UNSUPPORTED_SCHEME),
        ]
        for path, text in cases:
            with self.subTest(path):
                url = self.page_url(path)
                run = self.run_job(self.smtp.host_port, URL=url)
                line = "Page '%s' could not be fetched: %s\r\n" % (url, text)
                self.assert_failed(run, "Error: " + line)


class PasswordMaskTest(SecureTestCase):
    def test_a_password_in_the_page_address_is_never_shown_logged_or_mailed(self):
        secret = "pa55-w0rd"
        base = "http://editor:%s@%s" % (secret, self.web)
        shown = "http://editor:***@%s" % self.web
        cases = [
            (
                base + "/status/404",
                {},
                "Page '%s/status/404' could not be fetched: %s\r\n" % (shown, FETCH_PAGE_NOT_FOUND),
            ),
            (
                base + "/page",
                {"CheckContent": "1"},
                "Page '%s/page' failed webletter check\r\n" % shown,
            ),
        ]
        for url, values, line in cases:
            with self.subTest(url):
                run = self.run_job(self.smtp.host_port, mode="logmail", URL=url, **values)
                self.assertEqual(run.exit_status, 1)
                self.assertEqual(run.log_entries(), ["Error: " + line])
                self.assertEqual(len(run.received), 1, "the error mail")
                self.assertIn(line.encode(), run.received[0].body())
                self.assertNotIn(secret.encode(), run.received[0].message.as_bytes())
                self.assertNotIn(secret.encode(), run.log)
                run = self.run_job(self.smtp.host_port, mode=None, URL=url, **values)
                self.assertEqual(run.stderr, line.replace("\r\n", "\n"))


if __name__ == "__main__":
    unittest.main()
