"""One chunk to one plain Kestova container and back, for both codecs."""

from __future__ import annotations

import numpy as np

from kestova_codecs import _binding
from kestova_codecs.dtypes import restore, to_float32
from kestova_codecs.error_bound import compress_within
from kestova_codecs.settings import Settings


def encode(values: np.ndarray, settings: Settings) -> bytes:
    """The chunk's values (flattened in C order unless already 1-D) as one Kestova container,
    written by the settings' encoder: with "reference" the bytes that
    ``kestova.compress_signal`` gives for them as float32. NaN and infinities are refused."""
    if settings.max_error is not None:
        return compress_within(np.ravel(values), settings.max_error, relative=settings.relative,
                               method=settings.method, coder=settings.coder,
                               encoder=settings.encoder)
    return _binding.compress(to_float32(values), settings.method, settings.scale,
                             settings.cutoff, settings.coder, settings.encoder)


def decode(data, dtype: np.dtype) -> np.ndarray:
    """The samples of the container in the buffer ``data``, 1-D, as ``dtype``."""
    samples = np.frombuffer(_binding.decompress(data), np.float32)
    return restore(samples, dtype)
