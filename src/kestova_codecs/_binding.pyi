"""Type information for kestova_codecs._binding, the codec for buffers (python/codecs/).

Names, ranges and defaults stay in the C++ tables: parameters that take a name are ``str`` here,
and defaults are ``...``; ``tables()`` gives them at run time."""

from collections.abc import Iterable
from typing import Any, Optional, SupportsIndex, Union, final

import numpy.typing as npt
from _typeshed import ReadableBuffer
from typing_extensions import NotRequired, TypeAlias, TypedDict

# What the functions read in place: any C-contiguous buffer. NumPy arrays are named too, since
# NumPy declares their buffer protocol to type checkers only from Python 3.12 on.
BufferLike: TypeAlias = Union[ReadableBuffer, npt.NDArray[Any]]

HDF5_FILTER_ID: int
HDF5_FILTER_NAME: str

@final
class DecodedSamples:
    """Decoded samples or chunk elements, lent through the buffer protocol."""

    def __buffer__(self, flags: int, /) -> memoryview: ...

class Defaults(TypedDict):
    method: str
    scale: int
    cutoff: str
    coder: str
    encoder: str

class Tables(TypedDict):
    methods: tuple[str, ...]
    cutoffs: tuple[str, ...]
    coders: tuple[str, ...]
    recorded_coders: tuple[str, ...]
    encoders: tuple[str, ...]
    scales: tuple[int, int]
    defaults: Defaults
    max_samples: int
    header_size: int
    smallest_range: float
    element_types: tuple[str, ...]
    psnr_range: tuple[float, float]
    bits_per_sample_range: tuple[float, float]

class Header(TypedDict):
    version: tuple[int, int]
    method: str
    levels: int
    scale: int
    coder: str
    samples: int
    minimum: float
    maximum: float
    mean: float
    payload_bytes: int
    container_bytes: int

class FilterSettings(TypedDict):
    """What HDF5 filter values record; dtype and chunk_elements only from a dataset's complete
    values."""

    method: Optional[str]
    scale: int
    cutoff: str
    coder: Optional[str]
    encoder: str
    max_error: Optional[float]
    relative: bool
    format: int
    psnr: Optional[float]
    bits_per_sample: Optional[float]
    dtype: NotRequired[str]
    chunk_elements: NotRequired[int]

class V2Header(TypedDict):
    """The fields of a version-2 stream's header (read_v2_header)."""

    version: int
    method: str
    coder: str
    element_type: str
    samples: int
    origin: float
    step: float
    payload_bytes: int
    stream_bytes: int
    checksum: str

def encode_v2(
    data: BufferLike,
    element_type: str,
    max_error: Optional[float] = None,
    relative: bool = True,
    psnr: Optional[float] = None,
    bits_per_sample: Optional[float] = None,
) -> tuple[bytes, float]: ...
def v2_stream_length(data: BufferLike) -> int: ...
def read_v2_header(data: BufferLike) -> V2Header: ...
def decode_v2_into(data: BufferLike, out: BufferLike) -> None: ...
def compress(
    data: BufferLike,
    method: str = ...,
    scale: SupportsIndex = ...,
    cutoff: str = ...,
    coder: Optional[str] = None,
    encoder: Optional[str] = None,
) -> bytes: ...
def compress_bounded(
    data: BufferLike,
    max_error: float,
    method: Optional[str] = None,
    coder: Optional[str] = None,
) -> tuple[Optional[bytes], float, str, int]: ...
def encode_chunk(
    data: BufferLike,
    dtype: str,
    method: Optional[str],
    scale: Optional[SupportsIndex],
    cutoff: Optional[str],
    coder: Optional[str],
    encoder: Optional[str],
    max_error: Optional[float],
    relative: bool,
    omit_trailing_nan: bool,
    format: Optional[int] = 1,
    psnr: Optional[float] = None,
    bits_per_sample: Optional[float] = None,
) -> bytes: ...
def check_settings(
    method: Optional[str],
    coder: Optional[str],
    scale: Optional[SupportsIndex],
    cutoff: Optional[str],
    encoder: Optional[str],
    max_error: Optional[float],
    relative: bool,
) -> None: ...
def decode_chunk(data: BufferLike, dtype: str, elements: int, fill: str) -> DecodedSamples: ...
def decompress(data: BufferLike) -> DecodedSamples: ...
def hdf5_filter_values(
    method: Optional[str],
    scale: Optional[SupportsIndex],
    cutoff: Optional[str],
    coder: Optional[str],
    encoder: Optional[str],
    max_error: Optional[float],
    relative: bool,
    format: int = 1,
    psnr: float = 0.0,
    bits_per_sample: float = 0.0,
    /,
) -> tuple[int, ...]: ...
def hdf5_filter_settings(values: Iterable[int], /) -> FilterSettings: ...
def read_header(data: BufferLike) -> Header: ...
def tables() -> Tables: ...
