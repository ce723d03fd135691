"""The optional libraries that read and write the field's formats, each under an extra of the
kestova package, imported only when a file needs one, with one line naming the extra when
it is missing."""

from __future__ import annotations

import importlib
from typing import Any

from .errors import UserError

# module -> (the extra that installs it, what it is needed for)
EXTRAS = {"soundfile": ("audio", "FLAC, RF64, W64 and other audio files"),
          "pyedflib": ("edf", "EDF and BDF files"),
          "obspy": ("seismic", "miniSEED and SAC files"),
}


def install_hint(extra: str) -> str:
    return (f'install the extra: pip install "kestova[{extra}]" (in a source tree: '
            f'pip install ".[{extra}]")')


def require(module: str, name: str = "") -> Any:
    """The module, or a one-line `UserError` naming the extra that installs it."""
    try:
        return importlib.import_module(module)
    except ImportError:
        extra, needed_for = EXTRAS[module]
        where = f"{name}: " if name else ""
        raise UserError(f"{where}{needed_for} need {module}; {install_hint(extra)}") from None
