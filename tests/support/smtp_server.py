"""A real SMTP server for tests (aiosmtpd), on 127.0.0.1 and a free port.

It keeps every message it accepts in a folder: <n>.eml holds the message's bytes exactly as
received after the end of DATA (dot-stuffing undone, CR LF kept), <n>.json its envelope
({"mail_from": ..., "rcpt_tos": [...], "mail_options": [...], "rcpt_options": [...]}). The .json
is written last, so a message with a .json is complete. A message the server refuses or loses
is never stored.

As a program (the C++ tests start it through TestServer):

    smtp_server.py FOLDER [--fault NAME] [--refuse-code CODE]

prints "PORT <n>" once it listens and serves until it is terminated.

As a module (Python end-to-end tests, the window's tests):

    import smtp_server
    server = smtp_server.start(folder, fault=None)   # listens in a background thread
    server.port, server.host_port                    # 12345, "127.0.0.1:12345"
    server.messages()                                # [ReceivedMessage(raw, mail_from, rcpt_tos)]
    server.stop()

Faults (--fault): "refuse-sender" (MAIL -> 550), "refuse-recipient" (RCPT -> 550), "refuse-data"
(DATA -> 554), "refuse-message" (554 after the final "."), "refuse-greeting" (554 greeting),
"refuse-ehlo" (EHLO and HELO -> 550), "close-in-data" (drops the connection after the first
bytes of the data), "stall-greeting" and "stall-data" (accept the connection, or the whole data,
and never answer). --refuse-code gives a refusal another code (421 or 451: a temporary one).

Secure delivery (module only; ServerOptions): `starttls` (an ssl.SSLContext) offers STARTTLS,
`require_starttls` refuses everything else before it; `implicit_tls` speaks TLS from the first
byte; `logins` ({user: password}) checks AUTH against them, and `auth_require_tls` (True by
default) offers AUTH only on an encrypted connection. A message accepted after a sign-in records
the user in its .json ("login"). `dialogue_log` names a file that gets every piece of the
dialogue the client sends, one JSON object a line: {"session": n, "tls": bool, "data": text
(bytes as Latin-1)}, so tests can prove what crossed the wire in clear.
"""

import argparse
import asyncio
import dataclasses
import json
import logging
import os
import ssl
import sys
import threading
from typing import Dict, List, Optional

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

FAULTS = (
    "refuse-sender",
    "refuse-recipient",
    "refuse-data",
    "refuse-message",
    "refuse-greeting",
    "refuse-ehlo",
    "close-in-data",
    "stall-greeting",
    "stall-data",
)


# The code of each refusal unless --refuse-code gives another.
REFUSE_CODES = {
    "refuse-sender": 550,
    "refuse-recipient": 550,
    "refuse-data": 554,
    "refuse-message": 554,
    "refuse-greeting": 554,
    "refuse-ehlo": 550,
}


@dataclasses.dataclass
class ServerOptions:
    folder: str
    fault: Optional[str] = None
    refuse_code: Optional[int] = None
    starttls: Optional[ssl.SSLContext] = None
    require_starttls: bool = False
    implicit_tls: Optional[ssl.SSLContext] = None
    logins: Optional[Dict[str, str]] = None
    auth_require_tls: bool = True
    dialogue_log: Optional[str] = None

    def refusal(self, text):
        """The reply of the current fault's refusal: its code and `text`."""
        return "%d %s" % (self.refuse_code or REFUSE_CODES[self.fault], text)


@dataclasses.dataclass
class ReceivedMessage:
    raw: bytes
    mail_from: str
    rcpt_tos: List[str]
    login: Optional[str] = None  # the user signed in as, None without a sign-in


class StoringHandler:
    """Keeps each accepted message in the folder; refuses where a fault asks for it."""

    def __init__(self, options: ServerOptions):
        self.options = options
        self.count = 0
        self.sessions = 0
        self.lock = threading.Lock()

    def next_session(self):
        with self.lock:
            self.sessions += 1
            return self.sessions

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        # A refusal must leave handled False: aiosmtpd then answers 535 itself.
        logins = self.options.logins or {}
        accepted = isinstance(auth_data, LoginPassword) and logins.get(
            auth_data.login.decode("utf-8", "replace")
        ) == auth_data.password.decode("utf-8", "replace")
        return AuthResult(success=accepted, handled=False, auth_data=auth_data)

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.options.fault == "refuse-sender":
            return self.options.refusal("5.1.8 Sender address rejected")
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.options.fault == "refuse-recipient":
            return self.options.refusal("5.1.1 Recipient address rejected")
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.options.fault == "refuse-message":
            return self.options.refusal("5.6.0 Message refused")
        if self.options.fault == "stall-data":
            await asyncio.sleep(3600)
        self.store(envelope, session)
        return "250 2.0.0 Message accepted"

    def store(self, envelope, session):
        with self.lock:
            self.count += 1
            stem = os.path.join(self.options.folder, "%04d" % self.count)
        with open(stem + ".eml", "wb") as eml:
            eml.write(envelope.original_content)
        envelope_record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "mail_options": envelope.mail_options,
            "rcpt_options": envelope.rcpt_options,
        }
        if session.authenticated:
            envelope_record["login"] = session.auth_data.login.decode("utf-8", "replace")
        with open(stem + ".json.tmp", "w", encoding="utf-8") as record:
            json.dump(envelope_record, record)
        os.replace(stem + ".json.tmp", stem + ".json")


class MisbehavingSMTP(SMTP):
    """aiosmtpd's server with the faults that need a hand in the dialogue itself."""

    def __init__(self, handler, options: ServerOptions, **kwargs):
        super().__init__(handler, **kwargs)
        self.options = options
        self.session_number = handler.next_session()

    def data_received(self, data):
        if self.options.dialogue_log:
            encrypted = self.options.implicit_tls is not None or self._tls_protocol is not None
            piece = {
                "session": self.session_number,
                "tls": encrypted,
                "data": data.decode("latin-1"),
            }
            with open(self.options.dialogue_log, "a", encoding="utf-8") as log:
                log.write(json.dumps(piece) + "\n")
        super().data_received(data)

    async def _handle_client(self):
        fault = self.options.fault
        if fault == "refuse-greeting":
            await self.push(self.options.refusal("5.3.2 No service here"))
            self.transport.close()
            return
        if fault == "stall-greeting":
            await asyncio.sleep(3600)
            return
        await super()._handle_client()

    async def smtp_EHLO(self, hostname):
        if self.options.fault == "refuse-ehlo":
            await self.push(self.options.refusal("Not accepting you"))
            return
        await super().smtp_EHLO(hostname)

    async def smtp_HELO(self, hostname):
        if self.options.fault == "refuse-ehlo":
            await self.push(self.options.refusal("Not accepting you"))
            return
        await super().smtp_HELO(hostname)

    async def smtp_DATA(self, arg):
        fault = self.options.fault
        if fault == "refuse-data" and self.envelope.rcpt_tos:
            await self.push(self.options.refusal("5.5.1 No data accepted"))
            return
        if fault == "close-in-data" and self.envelope.rcpt_tos:
            await self.push("354 End data with <CR><LF>.<CR><LF>")
            await self._reader.read(64)
            self.transport.abort()
            return
        await super().smtp_DATA(arg)


def make_smtp(options: ServerOptions, handler: StoringHandler) -> SMTP:
    # decode_data=False keeps the message as bytes; the size limit is large enough for big pages
    # and makes the server announce SIZE.
    security = {}
    if options.starttls is not None:
        security.update(tls_context=options.starttls, require_starttls=options.require_starttls)
    if options.logins is not None:
        security.update(authenticator=handler.authenticate)
    return MisbehavingSMTP(
        handler,
        options,
        decode_data=False,
        data_size_limit=256 << 20,
        hostname="smtp.test",
        auth_require_tls=options.auth_require_tls,
        **security,
    )


class RunningServer:
    """A server listening in a background thread of the current process."""

    def __init__(self, options: ServerOptions):
        self.options = options
        self.loop = asyncio.new_event_loop()
        self.handler = StoringHandler(options)
        started = threading.Event()
        self.thread = threading.Thread(target=self._serve, args=(started,), daemon=True)
        self.thread.start()
        started.wait()

    def _serve(self, started):
        asyncio.set_event_loop(self.loop)
        self.server = self.loop.run_until_complete(listen(self.options, self.handler))
        self.port = self.server.sockets[0].getsockname()[1]
        started.set()
        self.loop.run_forever()

    @property
    def host_port(self):
        return "127.0.0.1:%d" % self.port

    def messages(self) -> List[ReceivedMessage]:
        return read_messages(self.options.folder)

    def stop(self):
        def close():
            self.server.close()
            self.loop.stop()

        self.loop.call_soon_threadsafe(close)
        self.thread.join()
        self.loop.close()


async def listen(options: ServerOptions, handler: StoringHandler):
    loop = asyncio.get_running_loop()
    return await loop.create_server(
        lambda: make_smtp(options, handler), "127.0.0.1", 0, ssl=options.implicit_tls
    )


def read_messages(folder) -> List[ReceivedMessage]:
    """The complete messages stored in `folder`, in the order received."""
    messages = []
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".json"):
            continue
        stem = os.path.join(folder, name[: -len(".json")])
        with open(stem + ".json", encoding="utf-8") as record:
            envelope = json.load(record)
        with open(stem + ".eml", "rb") as eml:
            raw = eml.read()
        messages.append(
            ReceivedMessage(raw, envelope["mail_from"], envelope["rcpt_tos"], envelope.get("login"))
        )
    return messages


def start(folder, fault=None, refuse_code=None, **security) -> RunningServer:
    """`security` takes ServerOptions' fields for TLS, sign-in and the dialogue log."""
    os.makedirs(folder, exist_ok=True)
    return RunningServer(
        ServerOptions(folder=folder, fault=fault, refuse_code=refuse_code, **security)
    )


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--fault", choices=FAULTS)
    parser.add_argument("--refuse-code", type=int)
    args = parser.parse_args()
    # aiosmtpd reports every refused or broken dialogue as a warning; the tests cause them.
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    os.makedirs(args.folder, exist_ok=True)
    options = ServerOptions(folder=args.folder, fault=args.fault, refuse_code=args.refuse_code)

    async def serve():
        server = await listen(options, StoringHandler(options))
        print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
        async with server:
            await server.serve_forever()

    try:
        asyncio.run(serve())
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
