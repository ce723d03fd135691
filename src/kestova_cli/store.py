"""Multichannel recordings written as a zarr v3 store: one array "signal" (channel x time), one
channel per chunk row, every chunk one Kestova container; the sample rate, the source's sample
type and the channel count as attributes. zarr_stores.py reads these and any other Kestova
store."""

from __future__ import annotations

from pathlib import Path
from typing import Any, Callable

from .errors import UserError
from .recording import Recording, numpy_type
from .zarr_stores import INSTALL_HINT

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
                progress: Callable[[str], None], source: str) -> None:
    """Writes `recording` (read from `source`, named in messages) as a store at `path`."""
    zarr, KestovaCodec = _zarr()
    root = zarr.open_group(str(path), mode="w", zarr_format=3)
    chunk = min(recording.length, CHUNK_SAMPLES)
    array = root.create_array(
        ARRAY, shape=recording.samples.shape, dtype=numpy_type(recording.sample_type),
        chunks=(1, chunk), serializer=KestovaCodec(**codec_options), compressors=None,
        fill_value=0, dimension_names=("channel", "time"),
        attributes={"sample_rate": recording.rate, "source_dtype": recording.sample_type,
                    "source_format": recording.source_format, "channels": recording.channels})
    for channel in range(recording.channels):
        progress(f"channel {channel + 1}/{recording.channels}")
        try:
            array[channel] = recording.samples[channel]
        except ValueError as error:  # the codec's refusal, e.g. an unreachable error bound
            raise UserError(f"{source}: channel {channel}: {error}") from None
