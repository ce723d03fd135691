"""Text from files made printable: raw bytes a hostile input puts in a message (terminal escape
sequences, control characters, undecodable bytes) are shown escaped, never sent as they are."""

from __future__ import annotations


def printable(text: str) -> str:
    """`text` with every non-printable character escaped (\\x1b, \\n, \\u200b); bytes that were
    undecodable in a file name (surrogate escapes) are shown as \\xNN."""
    if text.isprintable():
        return text
    return "".join(c if c.isprintable() else _escape(c) for c in text)


def _escape(c: str) -> str:
    code = ord(c)
    if 0xDC80 <= code <= 0xDCFF:  # a byte that file-name decoding could not map
        return f"\\x{code - 0xDC00:02x}"
    if code < 0x100:
        return f"\\x{code:02x}"
    return f"\\u{code:04x}" if code < 0x10000 else f"\\U{code:08x}"
