#!/usr/bin/python3
"""The command-line front of the tests' scripted servers (tests/integration/servers.py), for
scripts/demo, scripts/screenshot and the benchmarks: prints "PORT <n>" and serves until its
parent process ends. Run it with Debian's /usr/bin/python3, which sees python3-aiosmtpd.

  serve.py http ROUTES.toml    the routes of the file's [http] table
  serve.py smtp [FOLDER]       takes every message, each as <n>.eml in FOLDER when given
"""

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
    elif argv[1:2] == ["smtp"] and len(argv) <= 3:
        server = servers.SmtpServer()
        if len(argv) == 3:
            os.makedirs(argv[2], exist_ok=True)
            server.keep = lambda message: write_eml(argv[2], message)
    else:
        sys.exit("usage: serve.py http ROUTES.toml | serve.py smtp [FOLDER]")
    print("PORT", server.host_port.rpartition(":")[2], flush=True)
    parent = os.getppid()
    while os.getppid() == parent:
        time.sleep(0.5)


if __name__ == "__main__":
    main(sys.argv)
