"""Reads a received message with Python's email package, independently of the program, and
checks what every message the program sends must be: 7-bit, CR LF line ends, no line over 998
characters, nothing the parser finds wrong."""

import email
import email.policy


def facts(raw: bytes) -> dict:
    """The message's headers (encoded words decoded; a repeated header is a list), its content
    type, charset, transfer encoding and decoded body bytes, and the problems found."""
    message = email.message_from_bytes(raw, policy=email.policy.default)
    headers, problems = {}, [str(defect) for defect in message.defects]
    for name, value in message.items():
        problems += [str(defect) for defect in getattr(value, "defects", ())]
        headers[name] = [headers[name], str(value)] if name in headers else str(value)
    if message.is_multipart():
        problems.append("more than one part")
    if any(byte > 0x7F for byte in raw):
        problems.append("8-bit bytes")
    lines = raw.split(b"\r\n")
    if b"\n" in raw.replace(b"\r\n", b"") or b"\r" in raw.replace(b"\r\n", b"") or lines[-1]:
        problems.append("a line end other than CR LF")
    if any(len(line) > 998 for line in lines):
        problems.append("a line over 998 characters")
    return dict(headers=headers, type=message.get_content_type(),
                charset=message.get_content_charset() or "",
                encoding=str(message.get("Content-Transfer-Encoding", "")).lower(),
                body=message.get_payload(decode=True) or b"", problems=problems)
