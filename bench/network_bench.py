"""The whole program against a curl pipeline over an emulated network: an HTTPS page served
gzip-compressed and an SMTP server with STARTTLS and sign-in (the scripted servers of
tests/integration/servers.py), each behind a relay that delays every byte by DELAY_MS each way
(delay_relay.py). Runs `webletter SECTION,silent` and
`curl -s --compressed URL | curl -s smtp://... --ssl-reqd --user ... -T -` by turns, RUNS times
each, and prints the median wall times and their ratio per page size. Every message webletter
sends must decode to the page byte for byte.

    /usr/bin/python3 bench/network_bench.py PROGRAM [DELAY_MS [RUNS]]     (defaults: 25, 7)
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "integration"))

import delay_relay  # noqa: E402
import message  # noqa: E402
import runner  # noqa: E402
import servers  # noqa: E402

# CR LF line ends: the pipeline sends the page as its message, which the server reads by lines.
LINE = "<p>The quick brown fox jumps over the lazy dog, 0123456789.</p>\r\n"
MARKER = '<html><head><META NAME="webletterCheck" CONTENT="1"><title>News</title></head><body>\r\n'
USER, PASSWORD = "editor@example.org", "s3cret"


def page(size) -> str:
    body = MARKER + LINE * (size // len(LINE) + 1)
    return body[: size - 9] + "</html>\r\n"


def main():
    program, delay = os.path.realpath(sys.argv[1]), float(sys.argv[2]) if len(sys.argv) > 2 else 25
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    sizes = {"100k": 100 << 10, "5m": 5 << 20}
    routes = {"/%s" % name: {"body": page(size), "gzip": True} for name, size in sizes.items()}
    web = servers.HttpServer(routes, runner.server_context("good"))
    mail = servers.SecureSmtpServer(context=runner.server_context("good"), logins={USER: PASSWORD})
    web_relay, mail_relay = delay_relay.Relay(web.host_port, delay), delay_relay.Relay(mail.host_port, delay)

    work = tempfile.mkdtemp(prefix="webletter-network-")
    shutil.copy(program, work)
    with open(os.path.join(work, "webletter.ini"), "w") as ini:
        ini.write("[Default]\nSMTPserver=smtp://editor%%40example.org:%s@%s\n" % (PASSWORD, mail_relay.host_port))
        ini.write("ToAddress=reader@example.net\nFromAddress=%s\nSubject=News\nCheckContent=1\n" % USER)
        for name in sizes:
            ini.write("[%s]\nURL=https://%s/%s\nCheckContent=1\n" % (name, web_relay.host_port, name))
    os.chmod(os.path.join(work, "webletter.ini"), 0o600)
    env = dict(os.environ, SSL_CERT_FILE=runner.TRUST["file"], HOME=work)

    def webletter(name):
        return [os.path.join(work, "webletter"), name + ",silent"]

    def pipeline(name):
        return ["bash", "-c", "curl -sS --compressed --cacert \"$1\" \"$2\" | curl -sS --cacert \"$1\" \"$3\" "
                "--ssl-reqd --user \"$4\" --mail-from \"$5\" --mail-rcpt reader@example.net -T -", "pipeline",
                runner.TRUST["file"], "https://%s/%s" % (web_relay.host_port, name),
                "smtp://" + mail_relay.host_port, "%s:%s" % (USER, PASSWORD), USER]

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
    mail.messages.clear()
    for _ in range(runs):
        for name in sizes:
            before = len(mail.messages)
            times["w", name].append(timed(webletter(name)))
            got = mail.messages[before:]
            exact = len(got) == 1 and message.facts(got[0]["raw"])["body"] == page(sizes[name]).encode()
            if not exact:
                print("webletter's message for %s is not the page" % name, file=sys.stderr)
            times["c", name].append(timed(pipeline(name)))
    print("delay %g ms each way (%g ms round trip), %d interleaved runs, medians" % (delay, 2 * delay, runs))
    print("%-6s %12s %12s %7s" % ("page", "webletter", "pipeline", "ratio"))
    for name in sizes:
        w, c = statistics.median(times["w", name]), statistics.median(times["c", name])
        print("%-6s %10.0fms %10.0fms %6.2fx" % (name, w, c, w / c))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
