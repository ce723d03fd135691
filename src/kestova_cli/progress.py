"""What the command tells the user on standard error while it works."""

from __future__ import annotations

import sys

from .text import printable


class Progress:
    def __init__(self, quiet: bool) -> None:
        self.quiet = quiet
        self.live = not quiet and sys.stderr.isatty()

    def step(self, message: str) -> None:
        """A passing step of a long job, shown on a terminal only and overwritten by the next."""
        if self.live:
            print(f"\r\033[K{printable(message)}", end="", file=sys.stderr, flush=True)

    def done(self, message: str) -> None:
        if not self.quiet:
            message = printable(message)
            print(f"\r\033[K{message}" if self.live else message, file=sys.stderr, flush=True)
