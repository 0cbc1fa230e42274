"""Secure delivery and hostile servers, end to end: the real executable against SMTP servers with
STARTTLS, implicit TLS and sign-in, web servers over https, and servers that misbehave on purpose.

The program trusts the tests' own authority (pki.py) only through SSL_CERT_FILE or SSL_CERT_DIR
in its environment. What crossed the wire in clear is read from the SMTP server's own record of
the dialogue. Each class is one theme; ctest runs each class as a test of its own.
"""

import base64
import binascii
import json
import logging
import os
import re
import shutil
import tempfile
import unittest
import urllib.parse

import http_server
import pki
from batch_harness import BatchTestCase, Handler, Run, Text, fetch_failed

USER = "editor@example.org"
STRANGER = "stranger@example.org"
PASSWORD = "p\u00e4ss w:rd@1"  # needs percent-encoding in an address
WRONG_PASSWORD = "not-the-password"
NETRC_PASSWORD = "n3trc-secret"

# Servers whose clients fail the handshake make asyncio and aiosmtpd complain; the tests cause it.
logging.getLogger("asyncio").setLevel(logging.CRITICAL)
logging.getLogger("mail.log").setLevel(logging.CRITICAL)


def address(scheme, port, user=None, password=None) -> str:
    """scheme://[user[:password]@]127.0.0.1:port, the user and password percent-encoded."""
    login = "" if user is None else urllib.parse.quote(user, safe="") + "@"
    if password is not None:
        login = login[:-1] + ":" + urllib.parse.quote(password, safe="") + "@"
    return "%s://%s127.0.0.1:%d" % (scheme, login, port)


class SecureTestCase(BatchTestCase):
    """A test authority for the class; for each test a HOME and a record of the SMTP dialogue."""

    @classmethod
    def setUpClass(cls):
        folder = tempfile.mkdtemp(prefix="webletter-pki-")
        cls.addClassCleanup(shutil.rmtree, folder, ignore_errors=True)
        cls.pki = pki.TestPki(folder)

    def setUp(self):
        super().setUp()
        self.home = self.empty_folder()
        self.dialogue_log = os.path.join(self.folder, "dialogue.jsonl")

    def use_smtp(self, certificate=None, implicit=False, **options):
        """Starts an SMTP server that records the dialogue. With a `certificate`, it offers
        STARTTLS, or speaks TLS from the first byte when `implicit`."""
        if certificate is not None:
            context = self.pki.server_context(certificate)
            options["implicit_tls" if implicit else "starttls"] = context
        if implicit:
            options.setdefault("auth_require_tls", False)  # aiosmtpd sees STARTTLS only
        if os.path.exists(self.dialogue_log):
            os.remove(self.dialogue_log)
        return self.start_smtp(dialogue_log=self.dialogue_log, **options)

    def write_netrc(self, text):
        path = os.path.join(self.home, ".netrc")
        with open(path, "w", encoding="utf-8") as netrc:
            netrc.write(text)
        os.chmod(path, 0o600)

    def run_job(self, server_value, trust="file", **values) -> Run:
        """Runs section news through `server_value` with the test's HOME, trusting the test
        authority through SSL_CERT_FILE ("file"), SSL_CERT_DIR ("dir") or not at all (None)."""
        environment = {"HOME": self.home, "SSL_CERT_FILE": None, "SSL_CERT_DIR": None}
        if trust is not None:
            environment["SSL_CERT_" + trust.upper()] = getattr(self.pki, "ca_" + trust)
        ini = self.news(SMTPserver=server_value, **values)
        return self.run_batch("news,log", ini, env=environment)

    def sent_text(self, encrypted):
        """Everything the client sent in clear (or encrypted), one text per connection."""
        sessions = {}
        if os.path.exists(self.dialogue_log):
            with open(self.dialogue_log, encoding="utf-8") as log:
                for piece in map(json.loads, log):
                    if piece["tls"] == encrypted:
                        data = piece["data"].encode("latin-1")
                        sessions[piece["session"]] = sessions.get(piece["session"], b"") + data
        return list(sessions.values())

    def assert_never_in_clear(self, password):
        """No sign-in crossed the wire in clear, nor `password` as itself or inside base64."""
        for text in self.sent_text(encrypted=False):
            self.assertNotRegex(text, rb"(?im)^AUTH\b", "a sign-in in clear")
            self.assertNotIn(password.encode(), text)
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
    def test_a_mailing_with_sign_in_arrives_intact_and_the_password_stays_encrypted(self):
        server = self.use_smtp("good", require_starttls=True, logins={USER: PASSWORD})
        run = self.run_job(address("smtp", server.port, USER, PASSWORD))
        self.assert_sent(run)
        [mail] = run.received
        self.assertEqual((mail.login, mail.rcpt_tos), (USER, ["reader@example.org"]))
        self.assertEqual(mail.message["Subject"], "Weekly news")
        self.assertEqual(mail.body(), http_server.PAGE)
        self.assert_never_in_clear(PASSWORD)
        self.assert_signed_in_encrypted()

    def test_a_failing_sign_in_sends_nothing_and_never_shows_the_password(self):
        self.write_netrc("machine 127.0.0.1 login %s password %s\n" % (USER, NETRC_PASSWORD))
        in_clear = {"auth_require_tls": False}
        cases = [  # what the server offers, the address's password (None: ~/.netrc's), trust
            ({"certificate": "good"}, WRONG_PASSWORD, "file", Text.MAIL_LOGIN_DENIED),
            ({"certificate": "good"}, PASSWORD, None, Text.MAIL_CERTIFICATE_INVALID),
            (in_clear, PASSWORD, "file", Text.MAIL_NO_ENCRYPTION),
            ({}, PASSWORD, "file", Text.MAIL_NO_ENCRYPTION),  # sign-in not offered at all
            (in_clear, None, "file", Text.MAIL_NO_ENCRYPTION),
        ]
        for options, password, trust, text in cases:
            with self.subTest(options=options, password=password, trust=trust):
                server = self.use_smtp(logins={USER: PASSWORD}, **options)
                run = self.run_job(address("smtp", server.port, USER, password), trust)
                password = password or NETRC_PASSWORD
                self.assert_never_in_clear(password)
                self.assert_failed(run, text)
                self.assertNotIn(password.encode(), run.log)


class ImplicitTlsTest(SecureTestCase):
    def test_sign_in_through_implicit_tls_takes_the_address_first_then_netrc(self):
        entry = "machine 127.0.0.1 login %s password %s\n"
        two_users = entry % (STRANGER, WRONG_PASSWORD) + entry % (USER, NETRC_PASSWORD)
        spread = 'machine 127.0.0.1\n  login %s\n  password "%s"\n' % (STRANGER, PASSWORD)
        cases = [  # ~/.netrc, the address's user and password, who signs in
            ("machine other.example.org login nobody password x\n" + spread, [], STRANGER),
            (two_users, [STRANGER, PASSWORD], STRANGER),  # the address's over netrc's
            (two_users, [USER], USER),  # netrc's password for the address's user
        ]
        for netrc, sign_in, login in cases:
            with self.subTest(sign_in):
                self.write_netrc(netrc)
                logins = {USER: NETRC_PASSWORD, STRANGER: PASSWORD}
                server = self.use_smtp("good", implicit=True, logins=logins)
                run = self.run_job(address("smtps", server.port, *sign_in))
                self.assert_sent(run)
                self.assertEqual(run.received[0].login, login)
                self.assertEqual(run.received[0].body(), http_server.PAGE)
                self.assertEqual(self.sent_text(encrypted=False), [])
                self.assert_signed_in_encrypted()


class CertificateTest(SecureTestCase):
    def test_the_mail_server_certificate_is_verified_against_ssl_cert_file_or_dir(self):
        # Without a scheme the program takes STARTTLS where the server offers it.
        invalid = Text.MAIL_CERTIFICATE_INVALID
        cases = [  # certificate, trust store, implicit TLS, error
            ("expired", "file", False, invalid), ("self-signed", "file", True, invalid),
            ("other-host", "file", False, invalid), ("other-host", "file", True, invalid),
            ("good", "dir", False, None), ("good", "dir", True, None),
        ]
        for certificate, trust, implicit, failure in cases:
            with self.subTest(certificate=certificate, implicit=implicit):
                server = self.use_smtp(certificate, implicit=implicit)
                run = self.run_job(("smtps://" if implicit else "") + server.host_port, trust)
                self.assert_outcome(run, failure)
                self.assertNotIn(b"MAIL FROM", b"".join(self.sent_text(encrypted=False)).upper())


class HttpsPageTest(SecureTestCase):
    def test_pages_over_https_are_fetched_only_with_a_verified_certificate(self):
        invalid = Text.FETCH_CERTIFICATE_INVALID
        cases = [("good", "file", None), ("good", "dir", None), ("good", None, invalid),
                 ("expired", "file", invalid), ("other-host", "file", invalid)]
        for certificate, trust, failure in cases:
            with self.subTest(certificate=certificate, trust=trust):
                context = self.pki.server_context(certificate)
                web = self.serve_web(http_server.TlsServer(("127.0.0.1", 0), Handler, context))
                url = "https://127.0.0.1:%d/page" % web.server_address[1]
                run = self.run_job(self.smtp.host_port, trust, URL=url)
                self.assert_outcome(run, failure and fetch_failed(url, failure))
                if failure is None:
                    self.assertEqual(run.received[0].body(), http_server.PAGE)


class SmtpFaultTest(BatchTestCase):
    def test_a_misbehaving_mail_server_ends_the_job_with_its_own_text_and_no_error_mail(self):
        cases = [  # the fault, its permanent and temporary codes, the error
            ("refuse-greeting", [554, 421], Text.MAIL_SERVER_REFUSED),
            ("refuse-ehlo", [550, 421], Text.MAIL_SERVER_REFUSED),
            ("refuse-sender", [550, 451], Text.MAIL_SENDER_REFUSED),
            ("refuse-recipient", [550, 450], Text.MAIL_RECIPIENT_REFUSED),
            ("refuse-data", [554, 451], Text.MAIL_MESSAGE_REFUSED),
            ("refuse-message", [554, 451], Text.MAIL_MESSAGE_REFUSED),
            ("close-in-data", [None], Text.MAIL_CONNECTION_CLOSED),
        ]
        for fault, codes, text in cases:
            for code in codes:
                with self.subTest(fault=fault, code=code):
                    server = self.start_smtp(fault=fault, refuse_code=code)
                    # The error mail would go through the same server: it is not tried.
                    run = self.run_batch("news,logmail", self.news(SMTPserver=server.host_port))
                    self.assert_failed(run, text)


class HttpFaultTest(BatchTestCase):
    def test_a_misbehaving_web_server_ends_the_job_before_anything_is_sent(self):
        broken, scheme = Text.FETCH_CONNECTION_BROKEN, Text.FETCH_UNSUPPORTED_SCHEME
        cases = [("/reset", broken), ("/bad-chunked", broken), ("/redirect-file", scheme),
                 ("/redirect-ftp", scheme), ("/bad-gzip", Text.FETCH_BAD_CONTENT),
                 ("/loop", Text.FETCH_TOO_MANY_REDIRECTS)]
        for path, text in cases:
            with self.subTest(path):
                url = self.page_url(path)
                run = self.run_batch("news,log", self.news(URL=url))
                self.assert_failed(run, fetch_failed(url, text))


class PasswordMaskTest(BatchTestCase):
    def test_a_password_in_the_page_address_is_never_shown_logged_or_mailed(self):
        secret = "pa55-w0rd"
        shown = "http://editor:***@%s" % self.web
        cases = [
            ("/status/404", {}, fetch_failed(shown + "/status/404", Text.FETCH_NOT_FOUND)),
            ("/page", {"CheckContent": "1"}, "Page '%s/page' failed webletter check" % shown),
        ]
        for path, values, line in cases:
            with self.subTest(path):
                ini = self.news(URL="http://editor:%s@%s%s" % (secret, self.web, path), **values)
                run = self.run_batch("news,logmail", ini)
                self.assertEqual(run.exit_status, 1)
                self.assertEqual(run.log_entries(), ["Error: %s\r\n" % line])
                [mail] = run.received  # the error mail
                self.assertIn(line.encode(), mail.body())
                self.assertNotIn(secret.encode(), mail.message.as_bytes() + run.log)
                self.assertEqual(self.run_batch("news", ini).stderr, line + "\n")


if __name__ == "__main__":
    unittest.main()
