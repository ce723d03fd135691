"""Kestova as a codec of chunked array stores: numcodecs (``Kestova``), zarr v3 (``KestovaCodec``),
an error-bounded compression (``kestova_codecs.error_bound.compress_within``), and version-2
streams for any 1-D float or integer array (``encode_signal``, ``decode_signal``).

Importing this package needs only NumPy; numcodecs and zarr are imported when their codec is
first used, so ``pip install kestova`` alone still gives ``compress_within``.
"""

from __future__ import annotations

from typing import Any

__all__ = ["Kestova", "KestovaCodec", "decode_signal", "encode_signal"]

# Public name -> the module that defines it (imported on first access).
_LAZY = {
    "Kestova": "numcodecs_codec",
    "KestovaCodec": "zarr_codec",
    "encode_signal": "signal_stream",
    "decode_signal": "signal_stream",
}


def __getattr__(name: str) -> Any:
    if name == "__version__":  # the installed distribution's, kept in pyproject.toml only
        from importlib.metadata import version

        return version("kestova")
    if name not in _LAZY:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    from importlib import import_module

    value = getattr(import_module(f"{__name__}.{_LAZY[name]}"), name)
    globals()[name] = value
    return value


def __dir__() -> list[str]:
    return sorted(list(globals()) + __all__)
