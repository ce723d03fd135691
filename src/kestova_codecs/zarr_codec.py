"""``KestovaCodec``: the zarr v3 array-to-bytes codec (name "kestova"); goes in ``serializer=``."""

from __future__ import annotations

import asyncio
import dataclasses
import math
from dataclasses import dataclass
from typing import TYPE_CHECKING, Optional

import numpy as np
from zarr.abc.codec import ArrayBytesCodec
from zarr.core.common import parse_named_configuration

from kestova_codecs import chunk
from kestova_codecs.dtypes import check_dtype
from kestova_codecs.settings import Settings

if TYPE_CHECKING:
    from typing_extensions import Self
    from zarr.core.array_spec import ArraySpec
    from zarr.core.buffer import Buffer, NDBuffer
    from zarr.core.chunk_grids import ChunkGrid
    from zarr.core.common import JSON
    from zarr.core.dtype.wrapper import TBaseDType, TBaseScalar, ZDType

NAME = "kestova"


class _HoldsSettings:
    # The checked settings, set by KestovaCodec.__init__; declared on a plain base so that the
    # dataclass does not take them for a field.
    _settings: Settings


@dataclass(frozen=True)
class KestovaCodec(ArrayBytesCodec, _HoldsSettings):
    """Each chunk as one plain Kestova container; decode restores the chunk's shape and dtype.
    A trailing run of NaN in a chunk (edge padding under a NaN fill value) is left out of the
    container and restored on decode; NaN elsewhere and infinities are refused.

    Settings as for ``kestova_codecs.Kestova`` (the chunk's dtype comes from the array), with
    ``format`` 1 (the default for now) or 2 and, with 2, ``max_error``/``relative``, ``psnr`` or
    ``bits_per_sample``.
    Chunks of either version decode whatever ``format`` is. Use as
    ``zarr.create_array(..., serializer=KestovaCodec(...), compressors=None)``.
    """

    is_fixed_size = False

    # The defaults are Settings' own.
    method: Optional[str] = Settings.method
    scale: int = Settings.scale
    cutoff: str = Settings.cutoff
    coder: Optional[str] = Settings.coder
    max_error: Optional[float] = Settings.max_error
    relative: bool = Settings.relative
    encoder: str = Settings.encoder
    format: int = Settings.format
    psnr: Optional[float] = Settings.psnr
    bits_per_sample: Optional[float] = Settings.bits_per_sample

    def __init__(self, *, method: Optional[str] = Settings.method, scale: int = Settings.scale,
                 cutoff: str = Settings.cutoff, coder: Optional[str] = Settings.coder,
                 max_error: Optional[float] = Settings.max_error,
                 relative: bool = Settings.relative, encoder: str = Settings.encoder,
                 format: int = Settings.format, psnr: Optional[float] = Settings.psnr,
                 bits_per_sample: Optional[float] = Settings.bits_per_sample) -> None:
        settings = Settings(method, scale, cutoff, coder, max_error, relative, encoder, format,
                            psnr, bits_per_sample)
        for name, value in dataclasses.asdict(settings).items():
            object.__setattr__(self, name, value)
        object.__setattr__(self, "_settings", settings)

    @classmethod
    def from_dict(cls, data: dict[str, JSON]) -> Self:
        # A configuration without `encoder` (every store written before it) means "reference",
        # one without `format` version 1.
        _, configuration = parse_named_configuration(data, NAME, require_configuration=False)
        return cls(**dataclasses.asdict(Settings.from_config(configuration or {})))

    def to_dict(self) -> dict[str, JSON]:
        return {"name": NAME, "configuration": self._settings.config()}

    def validate(self, *, shape: tuple[int, ...], dtype: ZDType[TBaseDType, TBaseScalar],
                 chunk_grid: ChunkGrid) -> None:
        self._settings.check_dtype(check_dtype(dtype.to_native_dtype()))

    def compute_encoded_size(self, input_byte_length: int, chunk_spec: ArraySpec) -> int:
        raise NotImplementedError  # depends on the signal

    def _encode_sync(self, chunk_array: NDBuffer, chunk_spec: ArraySpec) -> Buffer:
        flat = np.ravel(chunk_array.as_ndarray_like())
        data = chunk.encode(flat, self._settings, omit_trailing_nan=True)
        return chunk_spec.prototype.buffer.from_bytes(data)

    def _decode_sync(self, chunk_bytes: Buffer, chunk_spec: ArraySpec) -> NDBuffer:
        data, size = chunk_bytes.as_numpy_array(), math.prod(chunk_spec.shape)
        values = chunk.decode(data, chunk_spec.dtype.to_native_dtype(), size, "trailing_nan")
        return chunk_spec.prototype.nd_buffer.from_numpy_array(values.reshape(chunk_spec.shape))

    # The codec releases the interpreter lock, so chunks run in parallel in zarr's threads.
    async def _encode_single(self, chunk_array: NDBuffer, chunk_spec: ArraySpec) -> Buffer:
        return await asyncio.to_thread(self._encode_sync, chunk_array, chunk_spec)

    async def _decode_single(self, chunk_bytes: Buffer, chunk_spec: ArraySpec) -> NDBuffer:
        return await asyncio.to_thread(self._decode_sync, chunk_bytes, chunk_spec)
