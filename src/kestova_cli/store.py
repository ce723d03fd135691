"""Multichannel recordings written as a zarr v3 store: one array "signal" (channel x time), one
channel per chunk row, every chunk one Kestova container; the sample rate, the source's sample
type and the channel count as attributes. zarr_stores.py reads these and any other Kestova
store."""

from __future__ import annotations

from pathlib import Path
from typing import Any

from .errors import UserError
from .interrupts import held_interrupts
from .recording import Recording, numpy_type, require_finite
from .zarr_stores import INSTALL_HINT, ROWS_AT_ONCE

ARRAY = "signal"
CHUNK_SAMPLES = 1 << 20  # along time; each chunk is compressed on its own


def _zarr() -> tuple[Any, Any]:
    """zarr and the Kestova zarr codec, or a one-line error saying how to get them."""
    try:
        import zarr
    except ImportError:
        raise UserError(f"multichannel stores need zarr; {INSTALL_HINT}") from None
    from kestova_codecs import KestovaCodec

    return zarr, KestovaCodec


def write_store(path: Path, recording: Recording, codec_options: dict[str, Any],
                source: str, first: bool = True) -> None:
    """Writes `recording` (read from `source`, named in messages) as a store at `path`, one
    block of chunks at a time: a 1-D recording as a 1-D array, others channel x time."""
    zarr, KestovaCodec = _zarr()
    root = zarr.open_group(str(path), mode="w" if first else "a", zarr_format=3)
    chunk = min(recording.length, CHUNK_SAMPLES)
    one = recording.one_dimensional
    attributes = {"sample_rate": recording.rate, "source_dtype": recording.sample_type,
                  "source_format": recording.source_format, "channels": recording.channels,
                  **recording.attributes}
    array = root.create_array(
        recording.name or ARRAY, shape=(recording.length,) if one else (recording.channels, recording.length),
        dtype=numpy_type(recording.sample_type), chunks=(chunk,) if one else (1, chunk),
        serializer=KestovaCodec(**codec_options), compressors=None, fill_value=0,
        dimension_names=("time",) if one else ("channel", "time"), attributes=attributes)
    for start, block in recording.blocks(chunk):
        require_finite(source, block, start)
        try:
            with held_interrupts():
                if one:
                    array[start:start + block.shape[1]] = block[0]
                else:  # a few rows at a time: zarr copies what it is given
                    for row in range(0, recording.channels, ROWS_AT_ONCE):
                        rows = slice(row, row + ROWS_AT_ONCE)
                        array[rows, start:start + block.shape[1]] = block[rows]
        except ValueError as error:  # the codec's refusal, e.g. an unreachable error bound
            raise UserError(f"{source}: samples from {start}: {error}") from None
