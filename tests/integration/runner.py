"""Runs the real executable (WEBLETTER_EXE) through the cases of a case file against the scripted
servers of servers.py, or lends those servers to another program (--serve). README.md beside
this file describes both and the keys of a case.
"""

import base64
import binascii
import datetime
import os
import re
import resource
import signal
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import tomllib

import message
import postfix
import servers

# The tests' own certificate authority and the certificates it signed (README.md says how they
# were made): "good", "expired", "other-host" (for mail.example.org) and "self-signed".
PKI = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pki")
TRUST = {"file": os.path.join(PKI, "authority.pem"), "dir": os.path.join(PKI, "authorities")}
DATE = r"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"
DECOY_INI = "[Default]\nSubject=From the current folder\n[news]\nSubject=From the current folder\n"


def load(path):
    with open(path, "rb") as source:
        return tomllib.load(source)


def read(path):
    try:
        with open(path, "rb") as source:
            return source.read()
    except FileNotFoundError:
        return None


def limit_file_size(limit):
    """As ulimit -f does, with SIGXFSZ as a shell leaves it (Python ignores it)."""
    resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    signal.signal(signal.SIGXFSZ, signal.SIG_DFL)


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


def server_context(certificate) -> ssl.SSLContext:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(PKI, certificate + ".pem"), os.path.join(PKI, certificate + ".key"))
    return context


def substitute(value, places):
    """`value` with the places' names replaced, each {C*N} as N times the character C and each
    {byte:HH} as the byte HH (80 to FF) in the settings file."""
    if isinstance(value, str):
        for name, text in places.items():
            value = value.replace(name, text)
        value = re.sub(r"\{byte:([89A-F][0-9A-F])\}", lambda found: chr(0xDC00 + int(found[1], 16)), value)
        return re.sub(r"\{(.)\*(\d+)\}", lambda found: found[1] * int(found[2]), value)
    if isinstance(value, list):
        return [substitute(item, places) for item in value]
    if isinstance(value, dict):
        return {key: substitute(item, places) for key, item in value.items()}
    return value


def matches(pattern, text, start, end) -> bool:
    """`text` is `pattern` with each {date} a date and time between `start` and `end`, and each
    {today+N:FORMAT} the day N days after the run's (strftime FORMAT)."""
    regex = ""
    for piece in re.split(r"(\{date\}|\{today[+-]?\d*:[^}]*\})", pattern):
        if piece == "{date}":
            regex += DATE
        elif piece.startswith("{today"):
            offset, _, form = piece[6:-1].partition(":")
            days = {(when + datetime.timedelta(days=int(offset or 0))).strftime(form)
                    for when in (start, end)}
            regex += "(?:%s)" % "|".join(map(re.escape, days))
        else:
            regex += re.escape(piece)
    found = re.fullmatch(regex, text, re.DOTALL)
    if not found:
        return False
    times = [datetime.datetime.strptime(group, "%m/%d/%y %H:%M:%S") for group in found.groups()]
    return all(start.replace(microsecond=0) <= when <= end for when in times)


def appears_in_base64(secret: bytes, text: bytes) -> bool:
    for token in re.findall(rb"[A-Za-z0-9+/=]{4,}", text):
        try:
            if secret in base64.b64decode(token + b"=" * (-len(token) % 4)):
                return True
        except binascii.Error:
            pass
    return False


class CaseFile:
    """The servers, the program's folder and a folder to start it from, for one case file."""

    def __init__(self, path):
        self.cases = load(path)
        common = load(os.path.join(os.path.dirname(path), "common.toml")).get("defaults", {})
        own = self.cases.get("defaults", {})
        self.defaults = {**common, **own, "http": {**common.get("http", {}), **own.get("http", {})}}
        self.work = tempfile.mkdtemp(prefix="webletter-e2e-")
        self.program = os.path.join(self.work, "program")
        self.start_in = os.path.join(self.work, "start-in")
        os.makedirs(self.program)
        os.makedirs(self.start_in)
        shutil.copy2(os.environ["WEBLETTER_EXE"], self.program)
        with open(os.path.join(self.start_in, "webletter.ini"), "w") as decoy:
            decoy.write(DECOY_INI)
        self.http, self.smtp = servers.HttpServer(), servers.SmtpServer()
        self.places = {"{http}": self.http.host_port, "{smtp}": self.smtp.host_port,
                       "{closed}": servers.closed_port(), "{program}": os.path.realpath(self.program),
                       "{version}": os.environ.get("WEBLETTER_VERSION", "")}
        self.https, self.postfix = {}, postfix.Postfix() if self.defaults.get("postfix") else None
        if self.postfix:
            self.places["{postfix}"] = self.postfix.host_port

    def close(self):
        for server in (self.http, self.smtp, *self.https.values(), *filter(None, [self.postfix])):
            server.stop()
        shutil.rmtree(self.work, ignore_errors=True)

    def https_server(self, certificate):
        if certificate not in self.https:
            context = server_context(certificate)
            self.https[certificate] = servers.HttpServer(self.http.routes, context)
        return self.https[certificate]

    def secure_server(self, options):
        options = dict(options)
        certificate = options.pop("certificate", None)
        if certificate is not None:
            options["context"] = server_context(certificate)
        return servers.SecureSmtpServer(**options)

    def run(self, case):
        """Runs one case; returns what did not come out as the case says."""
        defaults = self.defaults
        case = {**defaults, **case, "http": {**defaults.get("http", {}), **case.get("http", {})},
                "smtp": {**defaults.get("smtp", {}), **case.get("smtp", {})},
                "ini": case.get("ini", "") + ("" if case.get("bare") else defaults.get("ini", ""))}
        places, home = dict(self.places), tempfile.mkdtemp(dir=self.work)
        places["{home}"] = home
        secure = self.secure_server(case["secure"]) if "secure" in case else None
        if secure is not None:
            places["{secure}"] = secure.host_port
        if "https" in case:
            places["{https}"] = self.https_server(case["https"]).host_port
        case = substitute(case, places)
        self.http.routes.clear()
        self.http.routes.update(case["http"])
        self.http.requested, self.smtp.messages, self.smtp.sessions = [], [], []
        self.smtp.script(case["smtp"])
        try:
            return self.check(case, self.execute(case, home), secure)
        finally:
            if secure is not None:
                secure.stop()

    def execute(self, case, home):
        ini_path, log_path = (os.path.join(self.program, name) for name in ("webletter.ini", "webletter.log"))
        for path in (ini_path, log_path):
            remove(path)
        settings_file, log_file = case.get("settings_file", "file"), case.get("log_file", "none")
        if settings_file == "file":
            with open(ini_path, "wb") as out:
                out.write(case["ini"].encode("utf-8", "surrogateescape"))
            os.chmod(ini_path, case.get("ini_mode", 0o600))
        elif settings_file == "directory":
            os.mkdir(ini_path)
        elif settings_file == "fifo":
            os.mkfifo(ini_path)
        if log_file == "directory":
            os.mkdir(log_path)
        elif log_file == "symlink":  # to a file that must stay empty
            open(os.path.join(home, "elsewhere"), "w").close()
            os.symlink(os.path.join(home, "elsewhere"), log_path)
        for name, text in case.get("home", {}).items():
            if text == "{fifo}":
                os.mkfifo(os.path.join(home, name))
                continue
            with open(os.path.join(home, name), "w") as out:
                out.write(text)
            os.chmod(os.path.join(home, name), case.get("home_mode", 0o600))
        env = dict(os.environ, HOME=home)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "SSL_CERT_FILE", "SSL_CERT_DIR"):
            env.pop(name, None)
        trust = case.get("trust", "file")
        if trust != "none":
            env["SSL_CERT_" + trust.upper()] = TRUST[trust]
        for name, value in case.get("env", {}).items():
            env.pop(name, None)
            if value:
                env[name] = value
        state = lambda: (read(ini_path) if os.path.isfile(ini_path) else None,
                         os.lstat(ini_path).st_mtime_ns if os.path.lexists(ini_path) else None,
                         sorted(os.listdir(self.start_in)))
        before, start = state(), datetime.datetime.now()
        maillog_from = len(self.postfix.log()) if self.postfix else 0
        limit = case.get("file_size_limit")
        done = subprocess.run([os.path.join(self.program, "webletter"), *case.get("args", ["news,log"])],
                              cwd=self.start_in, env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120, preexec_fn=None if limit is None else lambda: limit_file_size(limit))
        end, after = datetime.datetime.now(), state()
        log = read(log_path) if log_file == "none" else read(os.path.join(home, "elsewhere")) or None
        return dict(exit=done.returncode, stderr=done.stderr.decode("utf-8", "surrogateescape"),
                    stdout=done.stdout.decode("utf-8", "surrogateescape"), printed=done.stdout,
                    log=log, start=start, end=end, untouched=before == after, maillog_from=maillog_from)

    def check(self, case, run, secure):
        problems = []

        def expect(what, wanted, got, ok=None):
            if not (wanted == got if ok is None else ok):
                problems.append("%s: wanted %r, got %r" % (what, wanted, got))

        span = run["start"], run["end"]
        expect("exit status", case.get("exit", 0), run["exit"])
        stderr = case.get("stderr", "")
        expect("standard error", stderr, run["stderr"], matches(stderr, run["stderr"], *span))
        if "printed" in case:  # a dry run's message on standard output
            raw = {"raw": run["printed"], "mail_from": None, "rcpt_tos": None, "login": None}
            problems += ["printed: " + p for p in self.check_mail(case, case["printed"], raw, span)]
        else:
            expect("standard output", case.get("stdout", ""), run["stdout"])
        expect("settings and start folder untouched", True, run["untouched"])
        log, lines = case.get("log"), None
        if run["log"] is not None:
            text = run["log"].decode("utf-8", "surrogateescape")
            lines = text[:-2].split("\r\n") if text.endswith("\r\n") else [text]
        expect("log", log, lines, log is None and lines is None or log is not None and lines is not None
               and len(log) == len(lines) and all(matches(w, g, *span) for w, g in zip(log, lines)))
        if "requests" in case:
            expect("requests", case["requests"], self.http.requested)
        if "smtp_sessions" in case:
            expect("sessions with the scripted mail server", case["smtp_sessions"], len(self.smtp.sessions))
        wanted = case.get("mail", [])
        received = self.smtp.messages + (secure.messages if secure else []) + (
            self.postfix.messages(len(wanted)) if self.postfix else [])
        expect("messages received", len(wanted), len(received))
        for number, (want, got) in enumerate(zip(wanted, received), 1):
            problems += ["message %d: %s" % (number, p) for p in self.check_mail(case, want, got, span)]
        for text in case.get("maillog", []):  # Postfix logs a session's end as it goes
            seen = postfix.wait_for(lambda: text in self.postfix.log()[run["maillog_from"]:])
            expect("Postfix's log", text, "not there", seen)
        for path in case.get("absent", []):
            expect("absent", path, "there", not os.path.lexists(path))
        for secret in case.get("clear_excludes", []):
            clear = secure.sent_in_clear()
            expect("in clear", "no " + secret, secret, secret.encode() not in clear
                   and not appears_in_base64(secret.encode(), clear))
        return problems

    def check_mail(self, case, want, got, span):
        parsed, problems = message.facts(got["raw"]), []
        problems += parsed["problems"] + got.get("problems", [])
        actual = dict(parsed, **{"from": got["mail_from"], "to": got["rcpt_tos"], "login": got["login"]})
        for key in ("from", "to", "type", "charset", "encoding", "login"):
            if key in want and want[key] != actual[key]:
                problems.append("%s: wanted %r, got %r" % (key, want[key], actual[key]))
        for name, value in want.get("headers", {}).items():
            got_value = parsed["headers"].get(name)
            if value is False:  # the header must be absent
                if got_value is not None:
                    problems.append("header %s: wanted none, got %r" % (name, got_value))
            elif not (isinstance(got_value, str) and matches(value, got_value, *span)):
                problems.append("header %s: wanted %r, got %r" % (name, value, got_value))
        if "body_of" in want:
            if parsed["body"] != servers.route_body(case["http"][want["body_of"]], compressed=False):
                problems.append("body: not the bytes of %s: %r" % (want["body_of"], parsed["body"][:200]))
        if "text_of" in want:  # the body, read strictly in the charset of its label
            try:
                text = parsed["body"].decode(parsed["charset"], "strict")
            except (LookupError, UnicodeDecodeError) as error:
                text = str(error)
            if text != case["http"][want["text_of"]]["body"]:
                problems.append("text: %s read as %s is %r" % (want["text_of"], parsed["charset"], text[:200]))
        if "text" in want and want["text"] != parsed["text"]:
            problems.append("text part: wanted %r, got %r" % (want["text"], parsed["text"]))
        for rule in set(want.get("fires_none_of", [])) & set(got.get("rules", [])):
            problems.append("SpamAssassin rule %s fired" % rule)
        if "body" in want:
            body = parsed["body"].decode("utf-8", "surrogateescape")
            if not matches(want["body"], body, *span):
                problems.append("body: wanted %r, got %r" % (want["body"], body))
        return problems


def run_file(path, only=None) -> int:
    cases, failed = CaseFile(path), 0
    try:
        build = os.environ.get("WEBLETTER_BUILD", "window")
        selected = [c for c in cases.cases.get("case", [])
                    if only in (None, c["name"]) and c.get("build", build) == build]
        for case in selected:
            problems = cases.run(case)
            failed += bool(problems)
            print("%s %s" % ("FAIL" if problems else "ok  ", case["name"]), flush=True)
            for problem in problems:
                print("       " + problem)
    finally:
        cases.close()
    print("%d passed, %d failed" % (len(selected) - failed, failed))
    return 1 if failed or not selected else 0


def serve(routes_path, command) -> int:
    http, smtp = servers.HttpServer(load(routes_path).get("http", {})), servers.SmtpServer()
    stalled = servers.SmtpServer({"greeting": "stall"})
    folder = tempfile.mkdtemp(prefix="webletter-mail-")

    def keep(received):
        stem = os.path.join(folder, "%04d" % (len(smtp.messages) + 1))
        parsed = message.facts(received["raw"])
        lines = ["mail-from " + received["mail_from"]] + ["rcpt-to " + to for to in received["rcpt_tos"]]
        lines += ["header %s: %s" % item for item in parsed["headers"].items()]
        lines += ["type " + parsed["type"], "charset " + parsed["charset"]]
        lines += ["problem " + problem for problem in parsed["problems"] + received.get("problems", [])]
        for suffix, data in ((".eml", received["raw"]), (".body", parsed["body"]),
                             (".tmp", "\n".join(lines).encode() + b"\n")):
            with open(stem + suffix, "wb") as out:
                out.write(data)
        os.replace(stem + ".tmp", stem + ".txt")
        smtp.messages.append(received)

    smtp.keep = keep
    env = dict(os.environ, WEBLETTER_TEST_WEB=http.host_port, WEBLETTER_TEST_SMTP=smtp.host_port,
               WEBLETTER_TEST_SMTP_STALL=stalled.host_port, WEBLETTER_TEST_MAIL=folder,
               WEBLETTER_TEST_CLOSED=servers.closed_port())
    mta, stopping = postfix.Postfix() if load(routes_path).get("postfix") else None, threading.Event()
    if mta:  # its deliveries join the scripted server's messages
        env.update(WEBLETTER_TEST_POSTFIX=mta.host_port, SSL_CERT_FILE=TRUST["file"])
        threading.Thread(target=lambda: [keep(got) for _ in iter(lambda: stopping.wait(0.2), True)
                                         for got in mta.messages()], daemon=True).start()
    try:
        return subprocess.call(command, env=env)
    finally:
        stopping.set()
        if mta:
            mta.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--serve"] and sys.argv[3:4] == ["--"]:
        sys.exit(serve(sys.argv[2], sys.argv[4:]))
    sys.exit(run_file(*sys.argv[1:3]))
