"""What the command tells the user on standard error while it works: a bar (tqdm) with the
percentage, throughput and time left for every job longer than about a second, shown on a
terminal or when asked for with --progress, and one line per finished job unless --quiet."""

from __future__ import annotations

import sys
import threading
from collections.abc import Iterator
from contextlib import contextmanager
from typing import Callable

from .text import printable

BAR_DELAY = 1.0  # seconds a job runs before its bar appears
TICK_SECONDS = 0.5  # how often the time spent in one long call is shown
_shown = threading.Event()  # set while the command's Progress shows bars


class Progress:
    def __init__(self, quiet: bool, forced: bool = False) -> None:
        self.quiet = quiet
        self.live = not quiet and (forced or sys.stderr.isatty())
        (_shown.set if self.live else _shown.clear)()

    @contextmanager
    def bar(self, total: int, label: str) -> Iterator[Callable[[int], None]]:
        """Yields tick(samples done since the last tick) for a job of `total` samples."""
        if not self.live:
            yield lambda done: None
            return
        from tqdm import tqdm  # type: ignore[import-untyped,unused-ignore]

        with tqdm(total=total, desc=printable(label), unit=" samples", unit_scale=True,
                  file=sys.stderr, delay=BAR_DELAY, leave=False, dynamic_ncols=True) as shown:
            yield shown.update

    def done(self, message: str) -> None:
        if not self.quiet:
            print(printable(message), file=sys.stderr, flush=True)


@contextmanager
def working(label: str) -> Iterator[None]:
    """Shows the time spent so far in one long call that reports nothing itself (the codec
    encoding or decoding a whole .kst stream), where bars are shown at all."""
    if not _shown.is_set():
        yield
        return
    from tqdm import tqdm

    done = threading.Event()
    with tqdm(desc=printable(label), bar_format="{desc}: {elapsed}", file=sys.stderr,
              delay=BAR_DELAY, leave=False) as shown:
        def tick() -> None:
            while not done.wait(TICK_SECONDS):
                shown.refresh()

        ticking = threading.Thread(target=tick, daemon=True)
        ticking.start()
        try:
            yield
        finally:
            done.set()
            ticking.join()
