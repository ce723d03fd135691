"""``Kestova``: the numcodecs codec (codec id "kestova"), for zarr v2 arrays and any numcodecs user."""

from __future__ import annotations

import dataclasses
from typing import TYPE_CHECKING, Any, Optional

import numpy as np
import numpy.typing as npt

# numcodecs ships no type information (the reason for the ignores on these lines).
from numcodecs.abc import Codec  # type: ignore[import-untyped,unused-ignore]
from numcodecs.compat import (  # type: ignore[import-untyped,unused-ignore]
    ensure_contiguous_ndarray, ndarray_copy)

from kestova_codecs import _binding, chunk
from kestova_codecs.dtypes import check_dtype
from kestova_codecs.settings import Settings

if TYPE_CHECKING:
    from typing_extensions import Self


class Kestova(Codec):  # type: ignore[misc,unused-ignore]
    """Lossy wavelet compression of a chunk into one plain Kestova container.

    ``method``, ``scale``, ``cutoff`` and ``coder`` are those of
    ``kestova.KestovaCompressionOptions``. ``dtype`` is what ``decode`` returns (integers are
    rounded to nearest and clipped). With ``max_error`` each chunk gets the coarsest scale and
    cutoff whose decoded max error stays within it, relative to the chunk's range unless
    ``relative=False`` (see ``kestova_codecs.error_bound``). ``encoder`` is "tuned" (the default
    of new codecs: about half the error at the same size, bounds met in one pass) or
    "reference" (the bytes ``kestova.compress_signal`` writes); a configuration without it, as
    every store written before it has, means "reference".

    ``format`` is the stream version chunks are written in: 1 (the default, and what a
    configuration without ``format`` means, so existing arrays keep it) or 2, which holds any
    step to ``max_error`` (relative unless ``relative=False``; 0 asks for exact samples, which
    integer chunks get without a target), reaches ``psnr`` dB or takes at most
    ``bits_per_sample`` bits per element (on the finest grid that fits), stores integer chunks exactly
    and checksums every chunk (docs/format.md, "Version 2"). With format 2 the version-1
    settings (method, scale, cutoff, coder, encoder) keep their defaults. Version 2 becomes the
    default once it meets its speed targets; it does not yet. Chunks of either version decode
    whatever ``format`` is.

    ``encode`` takes a NumPy array of any shape, read as its own dtype and flattened in memory
    order like every numcodecs codec (C order unless the array is Fortran-contiguous, which
    zarr v2 arrays with order "F" hand over), or any other contiguous buffer, read as ``dtype``.
    It refuses NaN and infinities, and a nonzero range below the smallest normal float32.
    ``decode`` refuses, before decoding, a container announcing more samples than its chunk can
    hold: the size of ``out`` when given (zarr v2 in zarr-python 2 gives it), else
    ``max_decoded_samples``, a limit on what a container of unknown chunk may make it allocate.
    Raise it on the class (``Kestova.max_decoded_samples = n``) to read larger chunks; it is no
    setting, and stores do not record it.
    """

    codec_id = "kestova"
    # 4 times the command's chunks; 16 MiB decoded as float32.
    max_decoded_samples = 1 << 22

    def __init__(self, method: Optional[str] = Settings.method, scale: int = Settings.scale,
                 cutoff: str = Settings.cutoff, coder: Optional[str] = Settings.coder,
                 dtype: npt.DTypeLike = "<f4", max_error: Optional[float] = Settings.max_error,
                 relative: bool = Settings.relative, encoder: str = Settings.encoder,
                 format: int = Settings.format, psnr: Optional[float] = Settings.psnr,
                 bits_per_sample: Optional[float] = Settings.bits_per_sample) -> None:
        settings = Settings(method, scale, cutoff, coder, max_error, relative, encoder, format,
                            psnr, bits_per_sample)
        self.__dict__.update(settings.config())
        self.dtype = check_dtype(dtype).str
        settings.check_dtype(self.dtype)
        self._settings = settings

    @classmethod
    def from_config(cls, config: dict[str, Any]) -> Self:
        # A configuration without `encoder` (every store written before it) means "reference",
        # one without `format` version 1.
        config = dict(config)
        config.pop("id", None)
        dtype = config.pop("dtype", "<f4")
        return cls(dtype=dtype, **dataclasses.asdict(Settings.from_config(config)))

    def encode(self, buf: _binding.BufferLike) -> bytes:
        if isinstance(buf, np.ndarray):
            values = buf.reshape(-1, order="A")
        else:
            values = ensure_contiguous_ndarray(buf).view(self.dtype)
        return chunk.encode(values, self._settings)

    def decode(self, buf: _binding.BufferLike,
               out: Optional[_binding.BufferLike] = None) -> npt.NDArray[Any]:
        dtype = np.dtype(self.dtype)
        if out is not None:  # the chunk's size is known: refuse a larger container unread
            limit = ensure_contiguous_ndarray(out).nbytes // dtype.itemsize
        else:
            limit = type(self).max_decoded_samples
            announced = chunk.announced_samples(buf)
            if announced > limit:
                raise ValueError(f"the container announces {announced} samples, above the "
                                 f"{limit} that Kestova.max_decoded_samples allows a chunk of "
                                 "unknown size; refusing to decode it (raise "
                                 "Kestova.max_decoded_samples to read larger chunks)")
        decoded: npt.NDArray[Any] = ndarray_copy(chunk.decode(buf, dtype, limit, "at_most"), out)
        return decoded
