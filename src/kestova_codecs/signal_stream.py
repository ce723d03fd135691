"""Version-2 Kestova streams for 1-D arrays of any float or integer type.

``encode_signal`` writes a version-2 stream (``docs/format.md``) whose decoded samples are within
a maximum error of the input, or exactly the input; ``decode_signal`` reads a stream of either
version. Version-1 streams stay what ``kestova.compress_signal`` writes and ``kestova`` reads.
"""

from __future__ import annotations

import numbers
from typing import TYPE_CHECKING, Any, Optional

import kestova
import numpy as np

from kestova_codecs import _binding

if TYPE_CHECKING:
    import numpy.typing as npt
    from numpy.typing import ArrayLike

    from typing_extensions import Buffer

    from kestova_codecs._binding import V2Header

__all__ = ["decode_signal", "encode_signal", "stream_info", "stream_length"]

_V1 = 1


def encode_signal(samples: ArrayLike, *, max_error: Optional[float] = None,
                  relative: bool = True, psnr: Optional[float] = None,
                  bits_per_sample: Optional[float] = None) -> bytes:
    """Compress a 1-D array into one version-2 stream.

    Every decoded sample differs from its input by at most ``max_error``, times the range
    max - min of the samples when ``relative`` (the default), in the samples' own type; or, with
    ``psnr`` instead, the decoded samples reach that PSNR in dB, 20 log10(range / rms error); or,
    with ``bits_per_sample``, the stream takes at most that many bits per sample (header and
    checksum included), on the finest grid found that fits.
    ``max_error=0`` asks for the samples exactly: integer arrays always get it, float arrays when
    their values are whole numbers. With neither target, integer arrays are stored exactly and
    float arrays refused. Raises ``TypeError`` for an unsupported dtype or a target that is not a
    number, and ``ValueError`` for a target out of range or more than one, NaN or infinite
    samples, or a target the samples cannot meet (the message gives what was reached).
    """
    values = np.asarray(samples)
    if values.ndim != 1:
        raise ValueError(f"expected a 1-D array of samples, got {values.ndim} dimensions")
    if values.dtype.kind not in "fiu":
        raise TypeError(f"expected float or integer samples, got dtype {values.dtype}")
    targets = {"max_error": max_error, "psnr": psnr, "bits_per_sample": bits_per_sample}
    if all(value is None for value in targets.values()):
        if values.dtype.kind == "f":
            raise ValueError("float samples need max_error or psnr (max_error=0 asks for exact "
                             "reconstruction), or bits_per_sample")
        targets["max_error"] = 0
    for name, value in targets.items():
        if value is not None and (isinstance(value, bool) or not isinstance(value, numbers.Real)):
            raise TypeError(f"{name} must be a number, got {type(value).__name__}")
    native = np.ascontiguousarray(values, dtype=values.dtype.newbyteorder("="))
    stream, _reached = _binding.encode_v2(
        native, native.dtype.name, relative=bool(relative),
        **{name: None if value is None else float(value) for name, value in targets.items()})
    return stream


def stream_info(stream: Buffer) -> V2Header:
    """The fields of a version-2 stream's header, its checksum checked (``ValueError`` if not)."""
    return _binding.read_v2_header(stream)


def stream_length(stream: Buffer) -> int:
    """The length of the version-2 stream at the start of ``stream``, which may go on with other
    data (a ``.kst`` file's record); ``stream_info`` and ``decode_signal`` take exactly that many
    bytes. ``ValueError`` unless it starts a version-2 stream that ``stream`` holds whole."""
    return _binding.v2_stream_length(stream)


def decode_signal(stream: Buffer) -> npt.NDArray[Any]:
    """The samples of a Kestova stream of either version: a version-2 stream in the type it was
    written from, a version-1 stream as float32. ``ValueError`` for a damaged or unknown stream.
    """
    data = memoryview(stream).cast("B")
    if len(data) > 4 and data[4] == _V1:
        return kestova.decompress_signal(bytes(data))
    info = _binding.read_v2_header(data)
    out = np.empty(info["samples"], dtype=info["element_type"])
    _binding.decode_v2_into(data, out)
    return out
