"""A real Postfix on loopback for the end-to-end and window tests (mta/main.cf: the restrictions
strict relays use, STARTTLS, sign-in through Dovecot, delivery into a Maildir), in a temporary
folder of its own. Delivered messages come back with their envelope and SpamAssassin's verdict."""

import glob
import os
import re
import shutil
import subprocess
import tempfile
import time

import servers

HERE = os.path.dirname(os.path.abspath(__file__))
# Rules that may fire: an HTML body alone is what the program sends (MIME_HTML_ONLY,
# HTML_MESSAGE); ALL_TRUSTED says that every relay was this machine, which is the test's set-up.
ALLOWED_RULES = {"MIME_HTML_ONLY", "HTML_MESSAGE", "ALL_TRUSTED"}


def wait_for(ready) -> bool:  # for up to 30 s
    return any(ready() or time.sleep(0.1) for _ in range(300))


class Postfix:
    def __init__(self):
        self.dir, self.host_port, self.taken = tempfile.mkdtemp(prefix="webletter-postfix-"), servers.closed_port(), set()
        self.etc, self.dovecot = os.path.join(self.dir, "etc"), None
        places = {"dir": self.dir, "pki": os.path.join(HERE, "pki"), "port": self.host_port.rpartition(":")[2]}
        for folder in ("etc", "queue", "mail"):
            os.makedirs(os.path.join(self.dir, folder))
        os.chmod(self.dir, 0o755)  # Postfix's own users go in
        os.chown(os.path.join(self.dir, "mail"), 65534, 65534)  # virtual_uid_maps
        for name in os.listdir(os.path.join(HERE, "mta")):
            with open(os.path.join(HERE, "mta", name)) as source, open(os.path.join(self.etc, name), "w") as out:
                out.write(re.sub(r"\{(dir|pki|port)\}", lambda found: places[found[1]], source.read()))
        try:
            self.command("check")
            self.dovecot = subprocess.Popen(["dovecot", "-F", "-c", os.path.join(self.etc, "dovecot.conf")])
            self.command("start")
            # "postfix start" returns once smtpd listens; Dovecot's socket comes when it is ready.
            if not wait_for(lambda: os.path.exists(os.path.join(self.dir, "queue/private/auth"))):
                raise RuntimeError("no answer on %s; its log: %s" % (self.host_port, self.log()))
        except Exception as failure:
            self.stop()
            raise RuntimeError("the tests' Postfix could not start (it needs root, postfix, dovecot-core and "
                               "spamassassin: scripts/test installs them): %s" % failure)

    def command(self, verb):
        done = subprocess.run(["postfix", "-c", self.etc, verb], capture_output=True, text=True)
        if done.returncode != 0:
            raise RuntimeError("postfix %s: %s%s%s" % (verb, done.stdout, done.stderr, self.log()))

    def log(self) -> str:
        path = os.path.join(self.dir, "maillog")
        return open(path, errors="replace").read() if os.path.exists(path) else ""

    def messages(self, count=0):
        """The messages delivered since the last call, once there are `count` (or after 30 s)."""
        new = lambda: sorted(set(glob.glob(os.path.join(self.dir, "mail/*/*/new/*"))) - self.taken)
        wait_for(lambda: len(new()) >= count)
        found = new()
        self.taken.update(found)
        return [delivered(path) for path in found]

    def stop(self):
        subprocess.run(["postfix", "-c", self.etc, "stop"], capture_output=True)
        if self.dovecot is not None:
            self.dovecot.terminate()
            self.dovecot.wait()
        shutil.rmtree(self.dir, ignore_errors=True)


def delivered(path) -> dict:
    """A delivered message, with CR LF line ends again, its envelope and sign-in, and the rules it fires."""
    with open(path, "rb") as source:
        raw = source.read()
    head = re.sub(r"\n\s+", " ", raw.split(b"\n\n", 1)[0].decode("utf-8", "replace"))
    verdict = subprocess.run(["spamassassin", "-t", "-L"], input=raw, capture_output=True).stdout.decode()
    rules = re.findall(r"^X-Spam-Status:.*? tests=(.*?) autolearn=", re.sub(r"\n\s+", " ", verdict), re.M)
    fired = set(re.findall(r"[A-Z][A-Z0-9_]+", rules[0])) if rules else {"(no verdict of SpamAssassin)"}
    login = re.findall(r"Authenticated sender: ([^)]*)", head)
    return dict(raw=raw.replace(b"\n", b"\r\n"), mail_from=re.findall(r"^Return-Path: <(.*)>", head, re.M)[0],
                rcpt_tos=re.findall(r"^Delivered-To: (.*)", head, re.M), login=login[0] if login else None,
                rules=sorted(fired),
                problems=["SpamAssassin rule %s" % rule for rule in sorted(fired - ALLOWED_RULES)])
