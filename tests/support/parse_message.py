"""Reads one received message with Python's email package, independently of the program.

    parse_message.py MESSAGE_FILE BODY_FILE

writes the decoded body bytes of the message's (first) leaf part to BODY_FILE and prints one fact
a line, in the order below; values are escaped so that each stays on one line ("\\\\" for a
backslash, "\\r", "\\n", "\\t", "\\xHH" for other control characters):

    header NAME: VALUE          every header as it stands, RFC 2047 words decoded, in order
    from-name NAME / from-address ADDRESS     one pair per mailbox of From
    to-name NAME / to-address ADDRESS         one pair per mailbox of To
    content-type TYPE/SUBTYPE
    charset CHARSET             (empty when there is none)
    transfer-encoding ENCODING  (lower case; empty when there is none)
    parts N                     number of leaf parts
    defects N                   problems the parser found in the structure or the headers
    body-size N

From Python, parse(raw_bytes) returns the same facts as a ParsedMessage.
"""

import dataclasses
import email
import email.header
import email.policy
import email.utils
import sys
from typing import List, Tuple


@dataclasses.dataclass
class ParsedMessage:
    headers: List[Tuple[str, str]]
    from_: List[Tuple[str, str]]
    to: List[Tuple[str, str]]
    content_type: str
    charset: str
    transfer_encoding: str
    parts: int
    defects: int
    body: bytes


def parse(raw: bytes) -> ParsedMessage:
    message = email.message_from_bytes(raw, policy=email.policy.default)
    headers = []
    defects = len(message.defects)
    for name, raw_value in message.raw_items():
        value, problems = decode_header(name, raw_value)
        headers.append((name, value))
        defects += problems
    leaves = [part for part in message.walk() if not part.is_multipart()]
    leaf = leaves[0] if leaves else message
    defects += sum(len(part.defects) for part in leaves if part is not message)
    return ParsedMessage(
        headers=headers,
        from_=mailboxes(message, "From"),
        to=mailboxes(message, "To"),
        content_type=leaf.get_content_type(),
        charset=leaf.get_content_charset() or "",
        transfer_encoding=str(leaf.get("Content-Transfer-Encoding", "")).strip().lower(),
        parts=len(leaves),
        defects=defects,
        body=leaf.get_payload(decode=True) or b"",
    )


def decode_header(name, raw_value):
    """The header's value with encoded words decoded, and the number of problems found."""
    try:
        value = email.policy.default.header_fetch_parse(name, raw_value)
        return str(value), len(getattr(value, "defects", ()))
    except ValueError:
        # A decoded value the strict parser refuses (a line break inside a name, say).
        text = str(email.header.make_header(email.header.decode_header(raw_value)))
        return text, 1


def mailboxes(message, name):
    raw_values = [value for key, value in message.raw_items() if key.lower() == name.lower()]
    if not raw_values:
        return []
    try:
        header = email.policy.default.header_fetch_parse(name, raw_values[0])
        return [(address.display_name, address.addr_spec) for address in header.addresses]
    except ValueError:
        decoded, _ = decode_header(name, raw_values[0])
        return email.utils.getaddresses([decoded])


def escape(text: str) -> str:
    out = []
    for char in text:
        if char == "\\":
            out.append("\\\\")
        elif char == "\r":
            out.append("\\r")
        elif char == "\n":
            out.append("\\n")
        elif char == "\t":
            out.append("\\t")
        elif ord(char) < 0x20 or ord(char) == 0x7F:
            out.append("\\x%02x" % ord(char))
        else:
            out.append(char)
    return "".join(out)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: parse_message.py MESSAGE_FILE BODY_FILE\n")
        return 2
    with open(argv[1], "rb") as source:
        parsed = parse(source.read())
    with open(argv[2], "wb") as body:
        body.write(parsed.body)
    lines = ["header %s: %s" % (name, escape(value)) for name, value in parsed.headers]
    for kind, boxes in (("from", parsed.from_), ("to", parsed.to)):
        for name, address in boxes:
            lines.append("%s-name %s" % (kind, escape(name)))
            lines.append("%s-address %s" % (kind, escape(address)))
    lines.append("content-type " + parsed.content_type)
    lines.append("charset " + escape(parsed.charset))
    lines.append("transfer-encoding " + escape(parsed.transfer_encoding))
    lines.append("parts %d" % parsed.parts)
    lines.append("defects %d" % parsed.defects)
    lines.append("body-size %d" % len(parsed.body))
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8", "surrogateescape"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
