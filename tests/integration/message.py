"""Reads a received message with Python's email package, independently of the program, and
checks what every message the program sends must be: 7-bit, CR LF line ends, no line over 998
characters, nothing the parser finds wrong."""

import email
import email.policy


def facts(raw: bytes) -> dict:
    """The message's headers (encoded words decoded; a repeated header is a list), its content
    type, charset, transfer encoding and decoded body bytes, and the problems found. A
    multipart/alternative message must be a text/plain part, then the HTML part: its type is the
    whole's, its charset, encoding and body the HTML part's, and `text` the text part's text."""
    message = email.message_from_bytes(raw, policy=email.policy.default)
    headers, problems = {}, [str(defect) for defect in message.defects]
    for name, value in message.items():
        problems += [str(defect) for defect in getattr(value, "defects", ())]
        headers[name] = [headers[name], str(value)] if name in headers else str(value)
    part, text = message, None
    if message.is_multipart():
        parts = list(message.iter_parts())
        kinds = [p.get_content_type() for p in parts]
        if message.get_content_type() != "multipart/alternative" or kinds != ["text/plain", "text/html"]:
            problems.append("parts other than a text and an HTML alternative: %s" % kinds)
        else:
            part, text = parts[1], parts[0].get_payload(decode=True).decode(parts[0].get_content_charset())
    if any(byte > 0x7F for byte in raw):
        problems.append("8-bit bytes")
    lines = raw.split(b"\r\n")
    if b"\n" in raw.replace(b"\r\n", b"") or b"\r" in raw.replace(b"\r\n", b"") or lines[-1]:
        problems.append("a line end other than CR LF")
    if any(len(line) > 998 for line in lines):
        problems.append("a line over 998 characters")
    return dict(headers=headers, type=message.get_content_type(),
                charset=part.get_content_charset() or "",
                encoding=str(part.get("Content-Transfer-Encoding", "")).lower(),
                body=part.get_payload(decode=True) or b"", text=text, problems=problems)
