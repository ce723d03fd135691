"""What `decompress --channels --start --end` selects: channels by number and ranges, a time
span in seconds (or samples). Only the chunks the selection touches are decoded."""

from __future__ import annotations

import argparse
import re
from dataclasses import dataclass
from typing import Optional

from .errors import UserError
from .recording import Recording

_UNITS = {"": None, "s": 1.0, "ms": 1e-3, "min": 60.0, "h": 3600.0}  # None: samples


@dataclass
class Instant:
    value: float
    seconds: Optional[float]  # seconds per unit; None for a count of samples

    def frame(self, rate: Optional[int], what: str) -> int:
        if self.seconds is None:
            return int(self.value)
        if rate is None:
            raise UserError(f"{what} in time needs a sample rate, which the source does not "
                            f"record: give one with --rate, or give {what} in samples")
        return round(self.value * self.seconds * rate)


def channel_list(text: str) -> list[int]:
    """'0,3-5' -> [0, 3, 4, 5]."""
    rows: list[int] = []
    for item in text.split(","):
        match = re.fullmatch(r"\s*(\d+)\s*(?:-\s*(\d+)\s*)?", item)
        if match is None or (match[2] is not None and int(match[2]) < int(match[1])):
            raise argparse.ArgumentTypeError(f"expected channel numbers and ranges such as "
                                             f"0,3-5, not {item!r}")
        rows += range(int(match[1]), int(match[2] or match[1]) + 1)
    return rows


def instant(text: str) -> Instant:
    """'10s', '250ms', '2min', '1h', or a count of samples ('48000')."""
    match = re.fullmatch(r"\s*(\d+(?:\.\d*)?|\.\d+)\s*(s|ms|min|h)?\s*", text)
    if match is None or (match[2] is None and "." in match[1]):
        raise argparse.ArgumentTypeError("expected a time such as 10s, 250ms, 2min or 1h, or a "
                                         "whole number of samples")
    return Instant(float(match[1]), _UNITS[match[2] or ""])


def select(name: str, recording: Recording, rows: Optional[list[int]],
           start: Optional[Instant], end: Optional[Instant]) -> Recording:
    if rows is None and start is None and end is None:
        return recording
    if recording.shape is not None:
        raise UserError(f"{name}: --channels, --start and --end select from channels x time, "
                        f"not from an array of shape {recording.shape}")
    if rows is not None and max(rows) >= recording.channels:
        raise UserError(f"{name}: channel {max(rows)} asked for, there are "
                        f"{recording.channels} (0 to {recording.channels - 1})")
    first = start.frame(recording.rate, "--start") if start else 0
    last = end.frame(recording.rate, "--end") if end else recording.length
    last = min(last, recording.length)
    if first >= last:
        raise UserError(f"{name}: the span selected holds no samples (frames {first} to "
                        f"{last} of {recording.length})")
    return recording.selected(rows, first, last)
