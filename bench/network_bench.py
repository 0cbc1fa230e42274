"""The whole program against a curl pipeline over an emulated network: an HTTPS page served
gzip-compressed and an SMTP server with STARTTLS and sign-in, each behind a relay that delays
every byte by DELAY_MS each way (delay_relay.py). The mail server is the scripted one of
tests/integration/servers.py, or with --postfix the tests' real Postfix (tests/integration/
postfix.py: root, postfix and dovecot-core, as scripts/test installs them). Runs
`webletter SECTION,silent` and
`curl -s --compressed URL | curl -s smtp://... --ssl-reqd --user ... -T -` by turns, RUNS times
each, and prints the median wall times and their ratio per page size. Every message webletter
sends must decode to the page byte for byte.

    /usr/bin/python3 bench/network_bench.py PROGRAM [DELAY_MS [RUNS]] [--postfix]
                                                                    (defaults: 25, 7)
"""

import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

import delay_relay  # noqa: E402
import message  # noqa: E402
import postfix  # noqa: E402
import runner  # noqa: E402
import servers  # noqa: E402

# CR LF line ends: the pipeline sends the page as its message, which the server reads by lines.
LINE = "<p>The quick brown fox jumps over the lazy dog, 0123456789.</p>\r\n"
MARKER = '<html><head><META NAME="webletterCheck" CONTENT="1"><title>News</title></head><body>\r\n'


class ScriptedMail:
    """The scripted server with STARTTLS and sign-in; keeps what it received."""

    # ehlo: the path of the pipeline's smtp:// address, which curl gives as its EHLO name.
    user, password, recipient, ehlo = "editor@example.org", "s3cret", "reader@example.net", ""

    def __init__(self):
        self.server = servers.SecureSmtpServer(context=runner.server_context("good"),
                                               logins={self.user: self.password})
        self.host_port = self.server.host_port

    def received(self):
        """The messages received since the last call."""
        got = list(self.server.messages)
        self.server.messages.clear()
        return [kept["raw"] for kept in got]

    def stop(self):
        pass


class PostfixMail:
    """The tests' real Postfix, which takes messages of up to 32 MiB here; what it delivered."""

    # Postfix refuses an EHLO name that is not a full domain name, such as curl's own default.
    user, password, recipient, ehlo = "editor@example.org", "app pass@1", "reader@example.org", "/example.org"

    def __init__(self):
        self.postfix = postfix.Postfix()
        subprocess.run(["postconf", "-c", self.postfix.etc, "-e", "message_size_limit=33554432"], check=True)
        self.postfix.command("reload")
        self.host_port, self.taken = self.postfix.host_port, set()

    def received(self):
        new = lambda: set(glob.glob(os.path.join(self.postfix.dir, "mail/*/*/new/*"))) - self.taken
        postfix.wait_for(new)  # delivery follows the session's end
        found = new()
        self.taken |= found
        return [read_crlf(path) for path in sorted(found)]

    def stop(self):
        self.postfix.stop()


def read_crlf(path) -> bytes:
    """A delivered message's bytes, with the CR LF line ends that Postfix's Maildir drops."""
    with open(path, "rb") as source:
        return source.read().replace(b"\n", b"\r\n")


def page(size) -> str:
    body = MARKER + LINE * (size // len(LINE) + 1)
    return body[: size - 9] + "</html>\r\n"


def main():
    args = [arg for arg in sys.argv[1:] if arg != "--postfix"]
    program, delay = os.path.realpath(args[0]), float(args[1]) if len(args) > 1 else 25
    runs = int(args[2]) if len(args) > 2 else 7
    sizes = {"100k": 100 << 10, "5m": 5 << 20}
    routes = {"/%s" % name: {"body": page(size), "gzip": True} for name, size in sizes.items()}
    web = servers.HttpServer(routes, runner.server_context("good"))
    mail = PostfixMail() if "--postfix" in sys.argv else ScriptedMail()
    try:
        measure(program, delay, runs, sizes, web, mail)
    finally:
        mail.stop()


def measure(program, delay, runs, sizes, web, mail):
    web_relay, mail_relay = delay_relay.Relay(web.host_port, delay), delay_relay.Relay(mail.host_port, delay)
    login = "%s:%s" % (mail.user, mail.password)
    work = tempfile.mkdtemp(prefix="webletter-network-")
    shutil.copy(program, work)
    with open(os.path.join(work, "webletter.ini"), "w") as ini:
        ini.write("[Default]\nSMTPserver=smtp://%s@%s\n" % (urllib.parse.quote(login, safe=":"), mail_relay.host_port))
        ini.write("ToAddress=%s\nFromAddress=%s\nSubject=News\nCheckContent=1\n" % (mail.recipient, mail.user))
        for name in sizes:
            ini.write("[%s]\nURL=https://%s/%s\nCheckContent=1\n" % (name, web_relay.host_port, name))
    os.chmod(os.path.join(work, "webletter.ini"), 0o600)
    env = dict(os.environ, SSL_CERT_FILE=runner.TRUST["file"], HOME=work)

    def webletter(name):
        return [os.path.join(work, "webletter"), name + ",silent"]

    def pipeline(name):
        return ["bash", "-c", "curl -sS --compressed --cacert \"$1\" \"$2\" | curl -sS --cacert \"$1\" \"$3\" "
                "--ssl-reqd --user \"$4\" --mail-from \"$5\" --mail-rcpt \"$6\" -T -", "pipeline",
                runner.TRUST["file"], "https://%s/%s" % (web_relay.host_port, name),
                "smtp://" + mail_relay.host_port + mail.ehlo, login, mail.user, mail.recipient]

    def timed(command):
        start = time.monotonic()
        done = subprocess.run(command, env=env, cwd=work, capture_output=True)
        if done.returncode != 0:
            print("failed:", command[0], done.returncode, done.stderr.decode()[-300:], file=sys.stderr)
        return (time.monotonic() - start) * 1000

    times = {(side, name): [] for side in ("w", "c") for name in sizes}
    for name in sizes:  # warm up
        timed(webletter(name))
        timed(pipeline(name))
    mail.received()
    for _ in range(runs):
        for name in sizes:
            times["w", name].append(timed(webletter(name)))
            got = mail.received()
            if len(got) != 1 or message.facts(got[0])["body"] != page(sizes[name]).encode():
                print("webletter's message for %s is not the page" % name, file=sys.stderr)
            times["c", name].append(timed(pipeline(name)))
            mail.received()
    print("delay %g ms each way (%g ms round trip), %d interleaved runs, medians" % (delay, 2 * delay, runs))
    print("%-6s %12s %12s %7s" % ("page", "webletter", "pipeline", "ratio"))
    for name in sizes:
        w, c = statistics.median(times["w", name]), statistics.median(times["c", name])
        print("%-6s %10.0fms %10.0fms %6.2fx" % (name, w, c, w / c))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
