"""Batch mode end to end: the real executable, its own webletter.ini, real HTTP and SMTP servers.

Each class is one theme; ctest runs each class as a test of its own.
"""

import datetime
import os
import re
import shutil
import unittest

import http_server
from batch_harness import DATE_TIME, BatchTestCase, Text, closed_port, fetch_failed, section

NOT_FOUND = "Section 'news' not found in webletter.ini"
NO_URL = "No URL specified in INI file"
FAILED_CHECK = "Page '%s' failed webletter check"
ONE_DAY = datetime.timedelta(days=1)


class SectionFoundTest(BatchTestCase):
    def test_a_section_counts_as_found_only_with_a_key_other_than_url(self):
        default = self.default_section()
        cases = [
            ("[news]\nURL=%s\n" % self.page_url() + default, [NOT_FOUND]),
            ("[news]\nErrorsGoTo=boss@example.org\n" + default, []),  # the rest from Default
            (default, [NOT_FOUND]),  # missing, Default with a URL
            ("[Default]\nSubject=News\n", [NOT_FOUND, NO_URL]),  # missing, Default without
            ("[news]\nSubject=News\n", [NO_URL]),  # found, no URL anywhere
        ]
        for ini, errors in cases:
            with self.subTest(ini[:30], errors=errors):
                self.http.requested.clear()
                self.assert_outcome(self.run_batch("news,log", ini), *errors)
                self.assertEqual(self.http.requested, [] if errors else ["/page"])


class DefaultFallbackTest(BatchTestCase):
    def test_each_empty_key_comes_from_default_on_its_own_and_the_page_arrives_unchanged(self):
        news = dict(URL=self.page_url("/charset/header-latin1"), ToAddress="other@example.org",
                    ToName="", FromName="Newsroom", Subject='""', SMTPserver="  ")
        run = self.run_batch("news,log", section("news", news) + self.default_section())
        self.assert_sent(run)
        [mail] = run.received
        self.assertEqual(mail.mail_from, "editor@example.org")
        self.assertEqual(mail.rcpt_tos, ["other@example.org"])
        self.assertEqual(mail.message["To"], "Reader <other@example.org>")
        self.assertEqual(mail.message["From"], "Newsroom <editor@example.org>")
        self.assertEqual(mail.message["Subject"], "Weekly news")
        self.assertEqual(mail.message["X-Mailer"], "Webletter 2.00")
        self.assertEqual(mail.message.get_content_type(), "text/html")
        self.assertEqual(mail.message.get_content_charset(), "iso-8859-1")
        self.assertEqual(mail.body(), http_server.CHARSET_PAGES["header-latin1"][1])


class SchemeTest(BatchTestCase):
    def test_http_is_put_in_front_only_of_an_address_without_scheme(self):
        cases = [("", None), ("HTTP://", None), ("HTTPS://", Text.FETCH_TLS_FAILED),
                 ("ftp://", Text.FETCH_UNSUPPORTED_SCHEME)]
        for scheme, failure in cases:
            with self.subTest(scheme):
                url = scheme + self.web + "/page"
                run = self.run_batch("news,log", self.news(URL=url))
                self.assert_outcome(run, failure and fetch_failed(url, failure))
                if failure is None:
                    self.assertEqual(run.received[0].body(), http_server.PAGE)


class MarkerCheckTest(BatchTestCase):
    def test_the_marker_is_required_exactly_when_check_content_is_not_zero(self):
        cases = [  # CheckContent, the page, whether it passes
            ("0", "/page", True), ("", "/page", True), ("no", "/page", True),
            ("1", "/marker", True), ("-1", "/marker", True), ("1", "/page", False),
            ("2 pages", "/empty", False), ("1", "/lower-marker", False),
        ]
        for check, path, passes in cases:
            with self.subTest(check=check, path=path):
                url = self.page_url(path)
                run = self.run_batch("news,log", self.news(URL=url, CheckContent=check))
                self.assert_outcome(run, None if passes else FAILED_CHECK % url)


class ValueChecksTest(BatchTestCase):
    def test_every_check_runs_and_adds_its_line_in_order(self):
        url = self.page_url()
        bad = dict(CheckContent="1", SMTPserver="localhost", ToAddress="x", FromAddress="y")
        every_error = [FAILED_CHECK % url, "SMTP missing or invalid",
                       "To-address missing or invalid", "From-address missing or invalid",
                       "Subject line missing"]
        barely_good = dict(SMTPserver="a.b", ToAddress="@", FromAddress="@")
        for values, errors in [(bad, every_error), (barely_good, ["Subject line missing"])]:
            with self.subTest(values):
                self.http.requested.clear()
                run = self.run_batch("news,log", section("news", dict(URL=url, **values)))
                self.assert_failed(run, *errors)
                self.assertEqual(self.http.requested, ["/page"])


class FailedFetchTest(BatchTestCase):
    def test_a_failed_fetch_comes_first_and_the_checks_still_run(self):
        url = self.page_url("/no-such-page")
        errors = [fetch_failed(url, Text.FETCH_NOT_FOUND), FAILED_CHECK % url,
                  "From-address missing or invalid"]
        ini = self.news(URL=url, CheckContent="1", FromAddress="editor")
        self.assert_failed(self.run_batch("news,log", ini), *errors)
        run = self.run_batch("news", ini)  # in message box mode the report is the only box
        self.assertEqual((run.exit_status, run.log, run.received), (1, None, []))
        self.assertEqual(run.stderr, "".join(line + "\n" for line in errors))


class SendFailureTest(BatchTestCase):
    def test_a_failed_send_is_one_line_and_keeps_the_error_mail_off_that_server(self):
        # The error mail would go through the job's server; it is not tried, so no note follows,
        # even where the server works and the send step failed before it (the date overflows).
        cases = [({"SMTPserver": closed_port()}, Text.MAIL_CANNOT_CONNECT),
                 ({"Subject": "News #yyyy#", "DateOffset": "99999999999"}, Text.OVERFLOW)]
        for values, text in cases:
            with self.subTest(text):
                self.assert_failed(self.run_batch("news,logmail", self.news(**values)), text)


class ReportModeTest(BatchTestCase):
    def test_the_mode_decides_where_the_report_of_a_failure_goes(self):
        box = NOT_FOUND + "\n"
        cases = [  # command line, logged, error mail, message box
            (["news,log"], True, False, ""), (["news,", "log"], True, False, ""),
            (["news,  log  "], True, False, ""), (["news,log,mail"], True, False, ""),
            (["news,mail"], False, True, ""), (["news,logmail"], True, True, ""),
            (["news,silent"], False, False, ""), (["news"], False, False, box),
            (["news,"], False, False, box), (["news,LOG"], False, False, box),
            (["news,\tlog"], False, False, box), (["news,whatever"], False, False, box),
        ]
        ini = self.default_section()
        for arguments, logged, mailed, stderr in cases:
            with self.subTest(arguments):
                run = self.run_batch(arguments, ini)
                self.assertEqual(run.exit_status, 1)
                self.assertEqual(run.log_entries(), ["Error: %s\r\n" % NOT_FOUND] if logged else [])
                self.assertEqual(len(run.received), 1 if mailed else 0)
                self.assertEqual(run.stderr, stderr)


class SuccessLogTest(BatchTestCase):
    def test_a_success_is_logged_as_one_dated_line_when_the_mode_holds_log(self):
        ini = "[news]\nSubject=News\n" + self.default_section()
        cases = [("log", True), ("catalogue", True), ("mail", False), ("LOG", False), ("", False)]
        for mode, logged in cases:
            with self.subTest(mode):
                run = self.run_batch("news," + mode if mode else "news", ini)
                self.assert_sent(run, logged)
                if not logged:
                    self.assertIsNone(run.log)


class ErrorMailTest(BatchTestCase):
    def test_the_error_mail_is_plain_text_from_errors_from_to_errors_go_to_with_a_dated_body(self):
        before = datetime.datetime.now().replace(microsecond=0)
        run = self.run_batch("news,logmail", self.default_section())
        after = datetime.datetime.now()
        self.assertEqual(run.exit_status, 1)
        self.assertEqual(run.log_entries(), ["Error: %s\r\n" % NOT_FOUND])
        [mail] = run.received
        sender, recipient = "robot@example.org", "admin@example.org"
        self.assertEqual((mail.mail_from, mail.rcpt_tos), (sender, [recipient]))
        headers = [mail.message[name] for name in ("From", "To", "Subject")]
        self.assertEqual(headers, [sender, recipient, "Error message from webletter"])
        self.assertEqual(mail.message.get_content_type(), "text/plain")
        body = mail.body().decode("utf-8")
        match = re.fullmatch("(%s)  news: (.*)" % DATE_TIME, body, re.DOTALL)
        self.assertEqual(match and match.group(2), NOT_FOUND + "\r\n", body)
        sent_at = datetime.datetime.strptime(match.group(1), "%m/%d/%y %H:%M:%S")
        self.assertTrue(before <= sent_at <= after, (before, sent_at, after))

    def test_a_problem_with_the_error_mail_adds_its_note_to_the_log(self):
        missing = "Parameter(s) for reporting error by email missing"
        failed = "Could not send error-message by email"
        cases = [  # command line, Default's changes, the logged lines (None: no log at all)
            ("news,logmail", {"ErrorsGoTo": ""}, [NOT_FOUND, missing]),
            ("news,logmail", {"SMTPserver": closed_port()}, [NOT_FOUND, failed]),
            ("news,logmail", {"SMTPserver": ""}, [NOT_FOUND]),
            ("news,mail", {"ErrorsGoTo": ""}, None),
            (",mail", {}, None),  # an empty section name: nothing at all
        ]
        for command_line, overrides, lines in cases:
            with self.subTest(command_line, overrides=overrides):
                run = self.run_batch(command_line, self.default_section(**overrides))
                if lines is None:
                    self.assertEqual((run.exit_status, run.log, run.received), (1, None, []))
                    self.assertEqual(run.stderr, "")
                else:
                    self.assert_failed(run, *lines)


class DateTagTest(BatchTestCase):
    def test_the_subject_carries_today_plus_date_offset(self):
        cases = [  # DateOffset, the tag, the tag's text for a day
            ("-1", "#yyyy-mm-dd#", lambda day: (day - ONE_DAY).strftime("%Y-%m-%d")),
            ("0.5", "#yyyy-mm-dd hh:nn#", lambda day: day.strftime("%Y-%m-%d 12:00")),
            ("soon", "#dd.mm.yyyy hh#", lambda day: day.strftime("%d.%m.%Y 00")),
        ]
        for offset, tag, text in cases:
            with self.subTest(offset=offset):
                days = [datetime.date.today()]
                ini = self.news(Subject="%s, again %s" % (tag, tag), DateOffset=offset)
                run = self.run_batch("news,log", ini)
                days.append(datetime.date.today())  # a run across midnight may give either
                self.assert_sent(run)
                subjects = {"%s, again %s" % (text(day), text(day)) for day in days}
                self.assertIn(run.received[0].message["Subject"], subjects)


class OwnFolderTest(BatchTestCase):
    def test_a_copy_of_the_executable_uses_the_settings_and_log_beside_it(self):
        # The current folder holds settings of its own, which the copy elsewhere must not read.
        decoy = self.default_section(Subject="From the current folder")
        with open(os.path.join(self.folder, "webletter.ini"), "w") as out:
            out.write(decoy)
        elsewhere = self.empty_folder()
        shutil.copy2(self.exe, elsewhere)
        ini = section("news", {"Subject": "From elsewhere"}) + self.default_section()
        run = self.run_batch("news,log", ini, folder=elsewhere)
        self.assert_sent(run)
        self.assertEqual(run.received[0].message["Subject"], "From elsewhere")
        self.assertEqual(sorted(os.listdir(self.folder)), ["webletter", "webletter.ini"])
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
        for command_line in ["news,log", "Default,log"]:
            with self.subTest(command_line):
                run = self.run_batch(command_line, ini)  # the harness compares bytes and times
                self.assertEqual(run.exit_status, 0, run.log)
                files = ["webletter", "webletter.ini", "webletter.log"]
                self.assertEqual(sorted(os.listdir(self.folder)), files)


class BadInputTest(BatchTestCase):
    def test_line_breaks_in_values_never_reach_a_header_or_the_envelope(self):
        # A line break ends the value even inside quotes: what follows it is a line of its own,
        # which the settings ignore. A mailing goes out to the one reader, unharmed, or not at all
        # where what is left is no valid address.
        cases = [
            ({"Subject": '"News\rBcc: evil@example.org"'}, None),
            ({"FromName": '"Editor\r\nX-Injected: yes"'}, None),
            ({"ToAddress": '"reader@example.org\rRCPT TO:<x@y>"'}, Text.MAIL_ADDRESS_INVALID),
        ]
        for values, failure in cases:
            with self.subTest(values):
                run = self.run_batch("news,log", self.news(**values))
                self.assert_outcome(run, failure)
                for mail in run.received:
                    self.assertEqual(mail.rcpt_tos, ["reader@example.org"])
                    self.assertEqual([mail.message["Bcc"], mail.message["X-Injected"]], [None] * 2)

    def test_long_values_are_cut_to_254_characters(self):
        cases = [
            ({"ToAddress": "a" * 9988 + "@example.org"}, "To-address missing or invalid"),
            ({"Subject": "x" * 288 + "#yyyy-mm-dd#"}, None),  # the tag is cut off
        ]
        for values, failure in cases:
            with self.subTest(list(values)):
                run = self.run_batch("news,log", self.news(**values))
                self.assert_outcome(run, failure)
                if failure is None:
                    self.assertEqual(run.received[0].message["Subject"], "x" * 254)

    def test_a_mode_of_100000_characters(self):
        cases = [
            ("x" * 100000, NOT_FOUND + "\n", []),
            (" " * 50000 + "log" + " " * 49997, "", ["Error: %s\r\n" % NOT_FOUND]),
        ]
        for mode, stderr, log in cases:
            with self.subTest(stderr=stderr):
                run = self.run_batch("news," + mode, self.default_section())
                self.assertEqual((run.exit_status, run.stderr), (1, stderr))
                self.assertEqual(run.log_entries(), log)

    def test_section_names_match_without_regard_to_case_and_may_hold_brackets_and_equals(self):
        for name in ["NEWS", "a]b", "a=b"]:
            with self.subTest(name):
                ini = section(name, {"Subject": "About " + name}) + self.default_section()
                run = self.run_batch(name.lower() + ",log", ini)
                self.assertEqual(run.exit_status, 0, run.log)
                self.assertEqual(run.received[0].message["Subject"], "About " + name)
                entry = "Entry '%s' succesfully sent.\r\n" % name.lower()
                self.assertEqual(run.log_entries(), [entry])


if __name__ == "__main__":
    unittest.main()
