"""``Kestova``: the numcodecs codec (codec id "kestova"), for zarr v2 arrays and any numcodecs user."""

from __future__ import annotations

import numpy as np
from numcodecs.abc import Codec
from numcodecs.compat import ensure_contiguous_ndarray, ndarray_copy

from kestova_codecs import chunk
from kestova_codecs.dtypes import check_dtype
from kestova_codecs.settings import Settings


class Kestova(Codec):
    """Lossy wavelet compression of a chunk into one plain Kestova container.

    ``method``, ``scale``, ``cutoff`` and ``coder`` are those of
    ``kestova.KestovaCompressionOptions``. ``dtype`` is what ``decode`` returns (integers are
    rounded to nearest and clipped). With ``max_error`` each chunk gets the coarsest scale and
    cutoff whose decoded max error stays within it, relative to the chunk's range unless
    ``relative=False`` (see ``kestova_codecs.error_bound``).

    ``encode`` takes a NumPy array of any shape (flattened in C order, read as its own dtype) or
    any other contiguous buffer (read as ``dtype``), and refuses NaN and infinities.
    """

    codec_id = "kestova"

    def __init__(self, method="cdf97", scale=11, cutoff="low", coder=None, dtype="<f4",
                 max_error=None, relative=True):
        settings = Settings(method, scale, cutoff, coder, max_error, relative)
        self.__dict__.update(settings.config())
        self.dtype = check_dtype(dtype).str
        self._settings = settings

    def encode(self, buf):
        if isinstance(buf, np.ndarray):
            values = buf
        else:
            values = ensure_contiguous_ndarray(buf).view(self.dtype)
        return chunk.encode(values, self._settings)

    def decode(self, buf, out=None):
        values = chunk.decode(buf, np.dtype(self.dtype))
        if isinstance(out, np.ndarray) and out.dtype == values.dtype:
            if out.size != values.size:
                raise ValueError(f"out holds {out.size} values but the chunk {values.size}")
            # C order, like encode, whatever the memory order of `out`.
            np.copyto(out, values.reshape(out.shape))
            return out
        return ndarray_copy(values, out)
