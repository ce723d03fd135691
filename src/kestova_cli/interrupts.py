"""Ctrl-C held back while a library works in its own threads (zarr's event loop keeps writing
a block's chunks after the main thread is interrupted), and delivered once it is done, so that
the partial output is removed only when nothing writes to it any more."""

from __future__ import annotations

import signal
import threading
from collections.abc import Iterator
from contextlib import contextmanager


@contextmanager
def held_interrupts() -> Iterator[None]:
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    caught = []
    previous = signal.signal(signal.SIGINT, lambda number, frame: caught.append(number))
    try:
        yield
    finally:
        signal.signal(signal.SIGINT, previous)
    if caught:
        raise KeyboardInterrupt
