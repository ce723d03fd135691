"""Multichannel recordings in a zarr v3 store: one array "signal" (channel x time), one channel
per chunk row, every chunk one Kestova container; the sample rate, the source's sample type and
the channel count as attributes."""

from __future__ import annotations

from pathlib import Path
from typing import Any, Callable

from .errors import UserError
from .recording import Recording, from_reconstruction, numpy_type

ARRAY = "signal"
CHUNK_SAMPLES = 1 << 20  # along time; each chunk is compressed on its own
INSTALL_HINT = 'install the extra: pip install "kestova[zarr]" (in a source tree: pip install ".[zarr]")'


def _zarr() -> tuple[Any, Any]:
    """zarr and the Kestova zarr codec, or a one-line error saying how to get them."""
    try:
        import zarr
    except ImportError:
        raise UserError(f"multichannel stores need zarr; {INSTALL_HINT}") from None
    try:
        from kestova_codecs import KestovaCodec
    except ImportError:
        raise UserError("multichannel stores need the kestova_codecs package of the kestova "
                        "wheel; reinstall kestova") from None
    return zarr, KestovaCodec


def write_store(path: Path, recording: Recording, codec_options: dict[str, Any],
                progress: Callable[[str], None]) -> None:
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
            raise UserError(f"channel {channel}: {error}") from None


def _open(path: Path) -> Any:
    zarr, _ = _zarr()
    try:
        return zarr.open_group(str(path), mode="r")[ARRAY]
    except (KeyError, FileNotFoundError, ValueError, TypeError) as error:
        raise UserError(f"{path}: not a Kestova store ({error})") from None


def read_store(path: Path) -> Recording:
    array = _open(path)
    attributes = array.attrs
    sample_type = attributes.get("source_dtype", array.dtype.name)
    try:
        values = array[...]
    except ValueError as error:  # a chunk the codec cannot decode
        raise UserError(f"{path}: {error}") from None
    return Recording(from_reconstruction(values, sample_type), sample_type,
                     attributes.get("sample_rate"), attributes.get("source_format", "npy"),
                     one_dimensional=False)


def describe_store(path: Path) -> list[str]:
    array = _open(path)
    attributes = array.attrs
    channels, samples = array.shape
    stored = stored_bytes(path)
    codec = next((c.to_dict() for c in array.metadata.codecs
                  if c.to_dict().get("name") == "kestova"), {"name": "none"})
    settings = " ".join(f"{k}={v}" for k, v in codec.get("configuration", {}).items())
    rate = attributes.get("sample_rate")
    source = attributes.get("source_dtype", str(array.dtype))
    source_bytes = channels * samples * (3 if source == "int24" else numpy_type(source).itemsize)
    return [f"store: zarr v{array.metadata.zarr_format}, array '{ARRAY}' {array.dtype}",
            f"channels: {channels}", f"samples: {samples} per channel",
            f"sample rate: {f'{rate} Hz' if rate else 'not recorded'}",
            f"source: {attributes.get('source_format', 'unknown')}, {source}",
            f"chunks: {' x '.join(map(str, array.chunks))}",
            f"codec: {codec['name']} {settings}".rstrip(),
            f"stored bytes: {stored}",
            f"ratio: {channels * samples * 4 / stored:.2f} against float32 samples"
            + (f", {source_bytes / stored:.2f} against the {source} source"
               if source != "float32" else "")]


def stored_bytes(path: Path) -> int:
    """The bytes of every file in the store, metadata included."""
    return sum(f.stat().st_size for f in path.rglob("*") if f.is_file())


def is_store(path: Path) -> bool:
    return path.is_dir() and (path / "zarr.json").is_file()
