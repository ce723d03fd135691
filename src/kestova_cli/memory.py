"""Whether a decoded result can fit in memory, judged from its announced size before decoding."""

from __future__ import annotations

import os
import resource

from .errors import UserError

# Decoding a container peaks at about 3.6 times its float32 output (measured); round up.
DECODE_PEAK_FACTOR = 4
# Encoding one .kst stream: the signal gathered whole, and the encoder's own working memory
# (2.5 times the float32 signal, measured); round up.
KST_ENCODE_FACTOR = 4
# The same within an error bound or to a PSNR in version 1: the bound loop's reconstructions
# and the search's decodes besides (6.1 to 6.6 times, measured on an hour at 48 kHz); round up.
KST_BOUNDED_ENCODE_FACTOR = 7


def available_bytes() -> int | None:
    """The memory this process can still take: the system's available memory, lowered to the
    address-space limit if one is set; None where neither is known."""
    limits = []
    try:
        with open("/proc/meminfo") as meminfo:
            for line in meminfo:
                if line.startswith("MemAvailable:"):
                    limits.append(int(line.split()[1]) * 1024)
    except (OSError, ValueError, IndexError):
        try:
            limits.append(os.sysconf("SC_AVPHYS_PAGES") * os.sysconf("SC_PAGE_SIZE"))
        except (ValueError, OSError):
            pass
    soft, _ = resource.getrlimit(resource.RLIMIT_AS)
    if soft != resource.RLIM_INFINITY:
        limits.append(soft)
    return min(limits) if limits else None


def require_fits(name: str, what: str, needed: int, instead: str = "") -> None:
    """Refuses, in one line, a job that needs `needed` bytes when less memory is available;
    `instead` says what would work."""
    available = available_bytes()
    if available is not None and needed > available:
        job = "encoding" if instead else "decoding"
        raise UserError(f"{name}: {what}: {job} needs about {_gib(needed)} of memory, more than "
                        f"the {_gib(available)} available; "
                        + (instead if instead else "refusing to decode it"))


def _gib(size: int) -> str:
    return f"{size / (1 << 30):.1f} GiB"
