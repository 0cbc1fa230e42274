"""Batch mode end to end: the real executable, its own webletter.ini, real HTTP and SMTP servers.

Each class is one theme; ctest runs each class as a test of its own.
"""

import datetime
import os
import re
import shutil
import tempfile
import unittest

import http_server
from batch_harness import (
    DATE_TIME,
    FETCH_CANNOT_CONNECT,
    FETCH_PAGE_NOT_FOUND,
    FETCH_TLS_FAILED,
    FETCH_UNSUPPORTED_SCHEME,
    MAIL_CANNOT_CONNECT,
    MAIL_RECIPIENT_REFUSED,
    OVERFLOW,
    BatchTestCase,
    closed_port,
    section,
)

NOT_FOUND = "Section 'news' not found in webletter.ini\r\n"
FETCH_FAILED = "Page '%s' could not be fetched: %s\r\n"
ONE_DAY = datetime.timedelta(days=1)


class SectionFoundTest(BatchTestCase):
    def test_a_section_counts_as_found_only_with_a_key_other_than_url(self):
        default = self.default_section()
        cases = [
            ("a section with only URL", "[news]\nURL=%s\n" % self.page_url() + default, NOT_FOUND),
            ("a missing section, Default with URL", default, NOT_FOUND),
            (
                "a missing section, Default without URL",
                "[Default]\nSubject=News\n",
                NOT_FOUND + "No URL specified in INI file\r\n",
            ),
            ("no settings file", None, NOT_FOUND + "No URL specified in INI file\r\n"),
            (
                "a found section, no URL anywhere",
                "[news]\nSubject=News\n",
                "No URL specified in INI file\r\n",
            ),
        ]
        for name, ini, errors in cases:
            with self.subTest(name):
                if ini is None and os.path.exists(os.path.join(self.folder, "webletter.ini")):
                    os.remove(os.path.join(self.folder, "webletter.ini"))
                self.http.requested.clear()
                self.assert_failed(self.run_batch("news,log", ini), "Error: " + errors)
                self.assertEqual(self.http.requested, [], "nothing may be fetched")

    def test_a_section_with_only_errors_go_to_takes_everything_else_from_default(self):
        ini = "[news]\nErrorsGoTo=boss@example.org\n" + self.default_section()
        run = self.run_batch("news,log", ini)
        self.assert_sent(run)
        self.assertEqual(run.received[0].rcpt_tos, ["reader@example.org"])
        self.assertEqual(run.received[0].header("Subject"), "Weekly news")

    def test_section_names_match_without_regard_to_case_and_may_hold_brackets_and_equals(self):
        for name in ["NEWS", "a]b", "a=b", "[x]"]:
            with self.subTest(name):
                ini = section(name, {"Subject": "About " + name}) + self.default_section()
                run = self.run_batch(name.lower() + ",log", ini)
                self.assertEqual(run.exit_status, 0, run.log)
                self.assertEqual(run.received[0].header("Subject"), "About " + name)
                entry = "Entry '%s' succesfully sent.\r\n" % name.lower()
                self.assertEqual(run.log_entries(), [entry])


class DefaultFallbackTest(BatchTestCase):
    def test_each_empty_key_comes_from_default_on_its_own(self):
        news = section(
            "news",
            {
                "ToAddress": "other@example.org",
                "ToName": "",
                "FromName": "Newsroom",
                "Subject": '""',
                "SMTPserver": "  ",
            },
        )
        run = self.run_batch("news,log", news + self.default_section())
        self.assert_sent(run)
        mail = run.received[0]
        self.assertEqual(mail.mail_from, "editor@example.org")
        self.assertEqual(mail.rcpt_tos, ["other@example.org"])
        self.assertEqual(mail.header("To"), "Reader <other@example.org>")
        self.assertEqual(mail.header("From"), "Newsroom <editor@example.org>")
        self.assertEqual(mail.header("Subject"), "Weekly news")

    def test_the_page_arrives_as_html_unchanged(self):
        run = self.run_batch("news,log", self.news(URL=self.page_url("/charset/header-latin1")))
        self.assert_sent(run)
        mail = run.received[0]
        self.assertEqual(mail.message.get_content_type(), "text/html")
        self.assertEqual(mail.message.get_content_charset(), "iso-8859-1")
        self.assertEqual(mail.body(), http_server.CHARSET_PAGES["header-latin1"][1])
        self.assertEqual(mail.header("X-Mailer"), "Webletter 2.00")


class SchemeTest(BatchTestCase):
    def test_http_is_put_in_front_only_of_an_address_without_scheme(self):
        web = self.web
        cases = [
            (web + "/page", None),
            ("HTTP://" + web + "/page", None),
            ("Http://" + web + "/page", None),
            ("https://" + web + "/page", FETCH_TLS_FAILED),
            ("HTTPS://" + web + "/page", FETCH_TLS_FAILED),
            ("ftp://" + web + "/page", FETCH_UNSUPPORTED_SCHEME),
        ]
        for url, failure in cases:
            with self.subTest(url):
                run = self.run_batch("news,log", self.news(URL=url))
                if failure is None:
                    self.assert_sent(run)
                    self.assertEqual(run.received[0].body(), http_server.PAGE)
                else:
                    self.assert_failed(
                        run, "Error: Page '%s' could not be fetched: %s\r\n" % (url, failure)
                    )


class MarkerCheckTest(BatchTestCase):
    def test_the_marker_is_required_exactly_when_check_content_is_not_zero(self):
        cases = [
            ("0", "/page", True),
            ("", "/page", True),
            ("no", "/page", True),
            ("0.0", "/page", True),
            ("1", "/marker", True),
            ("-1", "/marker-in-body", True),
            ("1", "/page", False),
            ("-1", "/page", False),
            ("2 pages", "/empty", False),
            ("1", "/lower-marker", False),
        ]
        for check, path, passes in cases:
            with self.subTest(check=check, path=path):
                ini = self.news(URL=self.page_url(path), CheckContent=check)
                run = self.run_batch("news,log", ini)
                if passes:
                    self.assert_sent(run)
                else:
                    self.assert_failed(
                        run, "Error: Page '%s' failed webletter check\r\n" % self.page_url(path)
                    )


class ValueChecksTest(BatchTestCase):
    def test_every_check_runs_and_adds_its_line_in_order(self):
        url = self.page_url()
        cases = [
            (
                {
                    "CheckContent": "1",
                    "SMTPserver": "localhost",
                    "ToAddress": "reader",
                    "FromAddress": "editor",
                },
                "Page '%s' failed webletter check\r\n" % url
                + "SMTP missing or invalid\r\n"
                + "To-address missing or invalid\r\n"
                + "From-address missing or invalid\r\n"
                + "Subject line missing\r\n",
            ),
            (
                {"SMTPserver": "mailhost", "ToAddress": "reader.example.org", "FromAddress": "e@x"},
                "SMTP missing or invalid\r\n"
                + "To-address missing or invalid\r\n"
                + "Subject line missing\r\n",
            ),
            (
                {"SMTPserver": "a.b", "ToAddress": "@", "FromAddress": "@"},
                "Subject line missing\r\n",
            ),
        ]
        for values, errors in cases:
            with self.subTest(errors):
                self.http.requested.clear()
                run = self.run_batch("news,log", section("news", dict(URL=url, **values)))
                self.assert_failed(run, "Error: " + errors)
                self.assertEqual(self.http.requested, ["/page"])


class FailedFetchTest(BatchTestCase):
    def test_a_failed_fetch_is_the_first_line_and_the_checks_still_run(self):
        missing = self.page_url("/no-such-page")
        nobody = "http://" + closed_port() + "/"
        cases = [
            (missing, {}, FETCH_FAILED % (missing, FETCH_PAGE_NOT_FOUND)),
            (nobody, {}, FETCH_FAILED % (nobody, FETCH_CANNOT_CONNECT)),
            (
                missing,
                {"CheckContent": "1", "FromAddress": "editor"},
                FETCH_FAILED % (missing, FETCH_PAGE_NOT_FOUND)
                + "Page '%s' failed webletter check\r\n" % missing
                + "From-address missing or invalid\r\n",
            ),
        ]
        for url, values, errors in cases:
            with self.subTest(url=url, values=values):
                run = self.run_batch("news,log", self.news(URL=url, **values))
                self.assert_failed(run, "Error: " + errors)

    def test_in_message_box_mode_the_report_is_the_only_box(self):
        url = self.page_url("/status/500")
        run = self.run_batch("news", self.news(URL=url))
        self.assertEqual(run.exit_status, 1)
        self.assertEqual(
            run.stderr,
            "Page '%s' could not be fetched: " % url
            + "The web server reported an internal error (HTTP 5xx)\n",
        )
        self.assertIsNone(run.log)
        self.assertEqual(run.received, [])


class SendFailureTest(BatchTestCase):
    def test_a_send_through_a_server_where_nothing_listens_keeps_the_error_mail_off_it(self):
        nobody = closed_port()
        ini = section("news", {"SMTPserver": nobody}) + self.default_section()
        run = self.run_batch("news,logmail", ini)
        # The error mail would read the same server; it is not tried, so no note follows.
        self.assert_failed(run, "Error: %s\r\n" % MAIL_CANNOT_CONNECT)

    def test_any_failure_of_the_send_step_keeps_the_error_mail_off_the_server(self):
        # The server works, but the send step failed (the date is out of range): nothing is
        # sent, and the error mail is not tried through the job's server either.
        for offset in ["99999999999", "1e999", "-1e999"]:
            with self.subTest(offset):
                news = section("news", {"Subject": "News #yyyy#", "DateOffset": offset})
                run = self.run_batch("news,logmail", news + self.default_section())
                self.assert_failed(run, "Error: %s\r\n" % OVERFLOW)


class RefusedRecipientTest(BatchTestCase):
    smtp_fault = "refuse-recipient"

    def test_a_refused_send_is_one_line_and_no_error_mail_goes_to_that_server(self):
        run = self.run_batch("news,logmail", "[news]\nSubject=News\n" + self.default_section())
        self.assert_failed(run, "Error: %s\r\n" % MAIL_RECIPIENT_REFUSED)


class ReportModeTest(BatchTestCase):
    """A job that fails (its section is missing) under every kind of mode."""

    def test_the_mode_decides_where_the_report_goes(self):
        box = "Section 'news' not found in webletter.ini\n"
        cases = [
            # command line, logged, error mail, message box
            (["news,log"], True, False, ""),
            (["news,", "log"], True, False, ""),
            (["news,  log  "], True, False, ""),
            (["news,log,mail"], True, False, ""),
            (["news,mail"], False, True, ""),
            (["news,logmail"], True, True, ""),
            (["news,silent"], False, False, ""),
            (["news"], False, False, box),
            (["news,"], False, False, box),
            (["news,LOG"], False, False, box),
            (["news,Silent"], False, False, box),
            (["news,\tlog"], False, False, box),
            (["news,whatever"], False, False, box),
        ]
        ini = self.default_section()
        for arguments, logged, mailed, stderr in cases:
            with self.subTest(arguments):
                run = self.run_batch(arguments, ini)
                self.assertEqual(run.exit_status, 1)
                self.assertEqual(run.log_entries(), ["Error: " + NOT_FOUND] if logged else [])
                self.assertEqual(len(run.received), 1 if mailed else 0)
                self.assertEqual(run.stderr, stderr)


class SuccessLogTest(BatchTestCase):
    def test_a_success_is_logged_when_the_mode_holds_log(self):
        cases = [
            ("news,log", True),
            ("news, logmail", True),
            ("news,catalogue", True),
            ("news", False),
            ("news,mail", False),
            ("news,silent", False),
            ("news,LOG", False),
        ]
        ini = "[news]\nSubject=News\n" + self.default_section()
        for command_line, logged in cases:
            with self.subTest(command_line):
                run = self.run_batch(command_line, ini)
                self.assert_sent(run, logged=logged)
                if not logged:
                    self.assertIsNone(run.log)

    def test_the_success_entry_is_one_dated_line(self):
        run = self.run_batch("news,log", "[news]\nSubject=News\n" + self.default_section())
        entry = r"\A%s  Entry 'news' succesfully sent\.\r\n\Z" % DATE_TIME
        self.assertRegex(run.log.decode(), entry)


class ErrorMailTest(BatchTestCase):
    def test_the_error_mail_is_plain_text_from_errors_from_to_errors_go_to_with_a_dated_body(self):
        before = datetime.datetime.now().replace(microsecond=0)
        run = self.run_batch("news,logmail", self.default_section())
        after = datetime.datetime.now()
        self.assertEqual(run.exit_status, 1)
        self.assertEqual(run.log_entries(), ["Error: " + NOT_FOUND])
        [mail] = run.received
        self.assertEqual(mail.mail_from, "robot@example.org")
        self.assertEqual(mail.rcpt_tos, ["admin@example.org"])
        self.assertEqual(mail.header("From"), "robot@example.org")
        self.assertEqual(mail.header("To"), "admin@example.org")
        self.assertEqual(mail.header("Subject"), "Error message from webletter")
        self.assertEqual(mail.message.get_content_type(), "text/plain")
        body = mail.body().decode("utf-8")
        match = re.fullmatch("(%s)  news: (.*)" % DATE_TIME, body, re.DOTALL)
        self.assertIsNotNone(match, body)
        self.assertEqual(match.group(2), NOT_FOUND)
        sent_at = datetime.datetime.strptime(match.group(1), "%m/%d/%y %H:%M:%S")
        self.assertTrue(before <= sent_at <= after, (before, sent_at, after))

    def test_a_problem_with_the_error_mail_adds_its_note_without_a_line_break(self):
        missing = "Parameter(s) for reporting error by email missing"
        failed = "Could not send error-message by email"
        cases = [
            ({"ErrorsGoTo": ""}, "logmail", [NOT_FOUND + missing + "\r\n"]),
            ({"ErrorsFrom": ""}, "logmail", [NOT_FOUND + missing + "\r\n"]),
            ({"SMTPserver": closed_port()}, "logmail", [NOT_FOUND + failed + "\r\n"]),
            ({"ErrorsGoTo": "admin@example.org>\x01"}, "logmail", [NOT_FOUND + failed + "\r\n"]),
            ({"ErrorsGoTo": ""}, "mail", []),
            ({"SMTPserver": ""}, "logmail", [NOT_FOUND]),
        ]
        for overrides, mode, log in cases:
            with self.subTest(overrides=overrides, mode=mode):
                run = self.run_batch("news," + mode, self.default_section(**overrides))
                self.assertEqual(run.exit_status, 1)
                self.assertEqual(run.log_entries(), ["Error: " + entry for entry in log])
                self.assertEqual(run.received, [])
                self.assertEqual(run.stderr, "")

    def test_mail_mode_with_an_empty_section_name_does_nothing_at_all(self):
        for command_line in [",mail", ",mail,log"]:
            with self.subTest(command_line):
                run = self.run_batch(command_line, self.default_section())
                self.assertEqual(run.exit_status, 1)
                self.assertIsNone(run.log)
                self.assertEqual(run.stderr, "")
                self.assertEqual(run.received, [])


class DateTagTest(BatchTestCase):
    def test_the_subject_carries_today_plus_date_offset(self):
        cases = [
            ("", "#yyyy-mm-dd#", lambda today: today.strftime("%Y-%m-%d")),
            ("-1", "#yyyy-mm-dd#", lambda today: (today - ONE_DAY).strftime("%Y-%m-%d")),
            ("0.5", "#yyyy-mm-dd hh:nn#", lambda today: today.strftime("%Y-%m-%d") + " 12:00"),
            ("soon", "#dd.mm.yyyy hh#", lambda today: today.strftime("%d.%m.%Y") + " 00"),
        ]
        for offset, tag, expected in cases:
            with self.subTest(offset=offset):
                before = datetime.date.today()
                subject = "News of %s, again %s" % (tag, tag)
                run = self.run_batch("news,log", self.news(Subject=subject, DateOffset=offset))
                self.assert_sent(run)
                days = (before, datetime.date.today())  # a run across midnight may give either
                subjects = {"News of %s, again %s" % (expected(d), expected(d)) for d in days}
                self.assertIn(run.received[0].header("Subject"), subjects)


class OwnFolderTest(BatchTestCase):
    def test_a_copy_of_the_executable_uses_the_settings_and_log_beside_it(self):
        copies = []
        for name in ("first", "second"):
            folder = tempfile.mkdtemp(prefix="webletter-copy-")
            self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
            shutil.copy2(self.exe, os.path.join(folder, "webletter"))
            copies.append((name, folder))
        # The current folder holds settings of its own, which no copy may read.
        decoy = self.default_section(Subject="From the current folder")
        with open(os.path.join(self.folder, "webletter.ini"), "w") as out:
            out.write(decoy)
        for name, folder in copies:
            with self.subTest(name):
                ini = section("news", {"Subject": "From " + name}) + self.default_section()
                exe = os.path.join(folder, "webletter")
                run = self.run_batch("news,log", ini, folder=folder, exe=exe)
                self.assert_sent(run)
                self.assertEqual(run.received[0].header("Subject"), "From " + name)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "webletter.log")))
        with open(os.path.join(self.folder, "webletter.ini")) as source:
            self.assertEqual(source.read(), decoy)


class SettingsUntouchedTest(BatchTestCase):
    def test_a_batch_run_leaves_the_settings_and_its_folder_as_they_were(self):
        ini = (
            "; the window keeps its fields here\r\n[Default]\r\nURL = %s\r\n"
            'Subject="  Weekly news  "\r\nToAddress=reader@example.org\r\nToName=Reader\r\n'
            "FromAddress=editor@example.org\r\nFromName=Editor\r\nSMTPserver=%s\r\n"
            "\r\n[news]\r\nCheckContent=0\r\n" % (self.page_url(), self.smtp.host_port)
        )
        ini_path = os.path.join(self.folder, "webletter.ini")
        with open(ini_path, "w", newline="") as out:
            out.write(ini)
        modified = os.stat(ini_path).st_mtime_ns
        for command_line, status in [("news,log", 0), ("missing,log", 1), ("Default,log", 0)]:
            with self.subTest(command_line):
                run = self.run_batch(command_line)  # the harness compares the bytes
                self.assertEqual(run.exit_status, status, run.log)
                self.assertEqual(os.stat(ini_path).st_mtime_ns, modified)
                files = ["smtp", "webletter", "webletter.ini", "webletter.log"]
                self.assertEqual(sorted(os.listdir(self.folder)), files)


class BadInputTest(BatchTestCase):
    def test_line_breaks_in_values_never_reach_a_header_or_the_envelope(self):
        # A line break ends the value even inside quotes: what follows it is a line of its own,
        # which the settings ignore. Each mailing goes out to the one reader, unharmed.
        cases = [
            {"Subject": '"News\rBcc: evil@example.org"'},
            {"FromName": '"Editor\r\nBcc: evil@example.org"'},
            {"ToName": '"Reader\nX-Injected: yes"'},
            {"ToAddress": '"reader@example.org\rRCPT TO:<evil@example.org>"'},
        ]
        for values in cases:
            with self.subTest(values):
                run = self.run_batch("news,logmail", self.news(**values))
                self.assert_sent(run)
                [mail] = run.received
                self.assertEqual(len(mail.rcpt_tos), 1)
                self.assertNotIn("evil", mail.rcpt_tos[0])
                self.assertIsNone(mail.message["Bcc"])
                self.assertIsNone(mail.message["X-Injected"])

    def test_long_values_are_cut_to_254_characters(self):
        long_path = "/" + "p" * 9999
        cut_url = "http://" + (self.web + long_path)[:254]
        subject = "x" * 288 + "#yyyy-mm-dd#"
        cases = [
            (
                {"URL": self.web + long_path},
                "Error: " + FETCH_FAILED % (cut_url, FETCH_PAGE_NOT_FOUND),
            ),
            (
                {"ToAddress": "a" * 9988 + "@example.org"},
                "Error: To-address missing or invalid\r\n",
            ),
            ({"Subject": subject}, "x" * 254),
        ]
        for values, outcome in cases:
            with self.subTest(outcome[:60]):
                run = self.run_batch("news,log", self.news(**values))
                if outcome.startswith("Error: "):
                    self.assert_failed(run, outcome)
                else:
                    self.assert_sent(run)
                    self.assertEqual(run.received[0].header("Subject"), outcome)

    def test_a_mode_of_100000_characters(self):
        cases = [
            ("news," + "x" * 100000, "Section 'news' not found in webletter.ini\n", None),
            ("news," + " " * 50000 + "log" + " " * 49997, "", ["Error: " + NOT_FOUND]),
        ]
        for command_line, stderr, log in cases:
            with self.subTest(stderr=stderr):
                run = self.run_batch(command_line, self.default_section())
                self.assertEqual(run.exit_status, 1)
                self.assertEqual(run.stderr, stderr)
                self.assertEqual(run.log_entries(), log or [])

    def test_a_section_name_with_line_breaks_stays_in_the_error_mail_body(self):
        name = "news\r\nBcc: evil@example.org"
        run = self.run_batch(name + ",logmail", self.default_section())
        self.assertEqual(run.exit_status, 1)
        [mail] = run.received
        self.assertEqual(mail.rcpt_tos, ["admin@example.org"])
        self.assertIsNone(mail.message["Bcc"])
        self.assertIn("Section '%s' not found in webletter.ini" % name, mail.body().decode())


if __name__ == "__main__":
    unittest.main()
