#!/usr/bin/python3
"""The command-line front of the tests' scripted servers (tests/integration/servers.py), for
scripts/demo, scripts/screenshot and the benchmarks: prints "PORT <n>" and serves until its
parent process ends. Run it with Debian's /usr/bin/python3, which sees python3-aiosmtpd.

  serve.py http ROUTES.toml    the routes of the file's [http] table
  serve.py smtp [FOLDER] [--reply VERB=TEXT]...
                               takes every message, each as <n>.eml in FOLDER when given;
                               --reply sets the reply to a verb (or "greeting", "END"), such as
                               "END=wait 15 250 OK" or "END=stall"
"""

import argparse
import os
import sys
import time
import tomllib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "integration"))
import servers  # noqa: E402


def write_eml(folder, message):
    count = len([name for name in os.listdir(folder) if name.endswith(".eml")])
    with open(os.path.join(folder, "%04d.eml" % (count + 1)), "wb") as out:
        out.write(message["raw"])


def main(argv):
    if argv[1:2] == ["http"] and len(argv) == 3:
        with open(argv[2], "rb") as source:
            server = servers.HttpServer(tomllib.load(source).get("http", {}))
    elif argv[1:2] == ["smtp"]:
        parser = argparse.ArgumentParser(prog="serve.py smtp")
        parser.add_argument("folder", nargs="?")
        parser.add_argument("--reply", action="append", default=[], metavar="VERB=TEXT")
        options = parser.parse_args(argv[2:])
        server = servers.SmtpServer(dict(pair.partition("=")[::2] for pair in options.reply))
        if options.folder:
            os.makedirs(options.folder, exist_ok=True)
            server.keep = lambda message: write_eml(options.folder, message)
    else:
        sys.exit("usage: serve.py http ROUTES.toml | serve.py smtp [FOLDER] [--reply VERB=TEXT]...")
    print("PORT", server.host_port.rpartition(":")[2], flush=True)
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.5)


if __name__ == "__main__":
    main(sys.argv)
