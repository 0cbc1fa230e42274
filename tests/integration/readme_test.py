"""The README's commands that run here, read from the README, so that text and program stay one.
  readme_test.py ini       the ini example of "Settings: webletter.ini" and
      dist/webletter.ini.example, their URL and SMTPserver on loopback: `webletter --dry-run
      SECTION` of each section exits 0, writes the message (CR LF) with its Subject's date tag
      filled in and sends nothing
  readme_test.py systemd   the units of "Every morning from a systemd timer": systemd-analyze
      verify says nothing of them, security rates the service 4.0 or lower (77: no systemd-analyze)
"""

import configparser
import datetime
import email
import email.policy
import os
import re
import shutil
import subprocess
import sys
import tempfile

import servers

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PAGE = '<html><head><META NAME="webletterCheck" CONTENT="1"></head><body>News</body></html>\n'


def blocks(title, language):
    """(the last line of text before it, its text) of each code block in `language` of the
    README's section `title`, which ends at the next heading."""
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as source:
        pieces, found, inside = re.findall(r"(.*?)^```(\w*)\n(.*?)^```\n", source.read(), re.S | re.M), [], False
    for prose, fence, code in pieces:
        lines = [line for line in prose.splitlines() if line.strip()] or [""]
        for line in lines:
            inside = line.lstrip("#").strip() == title if line.startswith("#") else inside
        if inside and fence == language:
            found.append((lines[-1], code))
    return found


def dry_run(program, section, subject, offset, smtp):
    """What is wrong with `webletter --dry-run section`."""
    env = {name: value for name, value in os.environ.items() if "DISPLAY" not in name}
    done = subprocess.run([os.path.join(program, "webletter"), "--dry-run", section], cwd=program + "/..",
                          env=dict(env, HOME=program + "/.."), capture_output=True, timeout=120)
    raw, now = done.stdout, datetime.datetime.now()
    if done.returncode != 0 or not raw or raw.count(b"\n") != raw.count(b"\r\n") or smtp.messages:
        return ["exit status %d, %d messages sent, standard output %r, standard error %r"
                % (done.returncode, len(smtp.messages), raw[:300], done.stderr[:300])]
    message = email.message_from_bytes(raw, policy=email.policy.default)
    problems = [] if message.get_content() == PAGE else ["the body is not the page"]
    # The tag, and any copy of it, must have become a date: text holding the year of the day.
    tag = re.search(r"#[^#]+#", subject)
    filled = tag and re.fullmatch(re.escape(subject).replace(re.escape(tag[0]), "([^#]+)"), message["Subject"])
    years = {str((now + datetime.timedelta(days=offset + shift)).year) for shift in (-1 / 24, 0)}
    if not filled or not any(year in filled[1] for year in years):
        problems.append("Subject %r is not %r with its date tag filled in" % (message["Subject"], subject))
    return problems


def check_ini(name, text, work, web, smtp):
    text = re.sub(r"(?im)^URL=.*$", "URL=http://%s/page" % web.host_port, text)
    text = re.sub(r"(?im)^SMTPserver=.*$", "SMTPserver=" + smtp.host_port, text)
    program = os.path.join(work, name)
    os.makedirs(program)
    shutil.copy2(os.environ["WEBLETTER_EXE"], program)
    with open(os.path.join(program, "webletter.ini"), "w", encoding="utf-8") as out:
        out.write(text)
    parsed = configparser.ConfigParser(interpolation=None)
    parsed.read_string(text)
    problems = []
    for section in [section for section in parsed.sections() if section != "Default"] or ["(none)"]:
        value = lambda key: parsed.get(section, key, fallback="") or parsed.get("Default", key, fallback="")
        offset = float(value("DateOffset").replace(" ", "") or 0)
        problems += ["%s [%s]: %s" % (name, section, problem)
                     for problem in dry_run(program, section, value("Subject"), offset, smtp)]
    return problems


def check_examples():
    examples = [("README", text) for _, text in blocks("Settings: webletter.ini", "ini")]
    with open(os.path.join(SOURCE, "dist", "webletter.ini.example"), encoding="utf-8") as source:
        examples.append(("webletter.ini.example", source.read()))
    web, smtp = servers.HttpServer({"/page": {"body": PAGE}}), servers.SmtpServer()
    work = tempfile.mkdtemp(prefix="webletter-readme-")
    try:
        problems = [] if len(examples) == 2 else ["the README's settings section holds no ini example"]
        for number, (name, text) in enumerate(examples):
            problems += check_ini("%d-%s" % (number, name), text, work, web, smtp)
    finally:
        web.stop()
        smtp.stop()
        shutil.rmtree(work, ignore_errors=True)
    return problems


def check_units():
    units = {name: text for caption, text in blocks("Every morning from a systemd timer", "ini")
             for name in re.findall(r"^`/etc/systemd/system/([\w@.-]+)`:$", caption)}
    service = [name for name in units if name.endswith(".service")]
    if not service or not any(name.endswith(".timer") for name in units):
        return ["the README's systemd section holds no .service and .timer blocks"]
    work = tempfile.mkdtemp(prefix="webletter-units-")
    try:  # verify wants the program of ExecStart to exist: the units name a link to it
        os.symlink(os.environ["WEBLETTER_EXE"], os.path.join(work, "webletter"))
        for name, text in units.items():
            with open(os.path.join(work, name), "w", encoding="utf-8") as out:
                out.write(text.replace("/opt/webletter/", work + "/"))
        verify = subprocess.run(["systemd-analyze", "verify", "--man=no", *[os.path.join(work, n) for n in units]],
                                capture_output=True, text=True)
        security = subprocess.run(["systemd-analyze", "security", "--offline=true", "--threshold=40",
                                   os.path.join(work, service[0])], capture_output=True, text=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    said = [line for line in (verify.stdout + verify.stderr).splitlines() if any(n in line for n in units)]
    score = re.search(r"Overall exposure level for .*", security.stdout)
    print(score[0] if score else security.stdout + security.stderr)
    return (["verify: " + line for line in said] + (["verify failed"] if verify.returncode else [])
            + (["security: the exposure is above 4.0"] if security.returncode or not score else []))


if __name__ == "__main__":
    if sys.argv[1] == "systemd" and shutil.which("systemd-analyze") is None:
        print("systemd-analyze is missing: the units are not checked")
        sys.exit(77)
    problems = {"ini": check_examples, "systemd": check_units}[sys.argv[1]]()
    print("".join("FAIL %s\n" % problem for problem in problems), end="")
    sys.exit(1 if problems else 0)
