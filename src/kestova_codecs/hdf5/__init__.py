"""Kestova as an HDF5 filter for h5py, the HDF5 tools and NWB files.

Importing this package registers the filter with h5py's HDF5, so ``compression=KestovaFilter()``
works in this process. Other programs (``h5dump``, ``h5repack``, any HDF5 application) find the
plugin in ``PLUGIN_PATH`` through the environment variable ``HDF5_PLUGIN_PATH``.

Each chunk is stored as one plain Kestova container of its values, flattened in storage order,
exactly as the zarr codec stores a chunk. A chunk holding NaN or infinities makes the filter fail;
h5py's ``compression=`` marks a filter optional, so such a chunk is then stored raw, silently.
``create_mandatory_dataset`` makes the failure an error instead.
"""

from __future__ import annotations

import ctypes
from pathlib import Path
from typing import Any, Optional, Union

# h5py ships no type information (the reason for the ignores on this line and its subclasses').
import h5py  # type: ignore[import-untyped,unused-ignore]
import numpy as np
import numpy.typing as npt

from kestova_codecs import _binding
from kestova_codecs.dtypes import check_dtype
from kestova_codecs.settings import Settings

__all__ = ["FILTER_ID", "PLUGIN_PATH", "KestovaFilter", "MandatoryDataset",
           "create_mandatory_dataset", "register", "settings_of"]

FILTER_ID: int = _binding.HDF5_FILTER_ID
PLUGIN_PATH: str = str(Path(__file__).resolve().parent / "plugins")
_PLUGIN_FILE = Path(PLUGIN_PATH) / "libh5kestova.so"


class KestovaFilter(h5py.filters.FilterRefBase):  # type: ignore[misc,unused-ignore]
    """The Kestova filter with its settings, for h5py's ``compression=`` (which marks it
    optional: a chunk the filter refuses is stored raw) or ``create_mandatory_dataset``.

    Settings, defaults and messages are those of ``kestova_codecs.KestovaCodec``: ``method``,
    ``scale``, ``cutoff``, ``coder``, ``encoder``, ``max_error`` and ``relative``. In the filter
    an error bound is met by the tuned encoder (the default), which may also choose the method
    for each chunk (``method=None``); values recorded without an encoder mean "reference".
    ``format``, ``psnr`` and ``bits_per_sample`` are the codecs' too: ``format=2`` writes
    version-2 chunks (values of layout version 2), and either version decodes whatever the
    values; every file written before records layout version 1, which means format 1.
    The dataset's element type (float32, float64, int8, int16, int32, uint8, uint16) is recorded
    when the dataset is created.
    """

    filter_id = FILTER_ID

    def __init__(self, **settings: Any) -> None:
        self.settings = Settings(**settings)
        s = self.settings
        self.filter_options = _binding.hdf5_filter_values(
            s.method, s.scale, s.cutoff, s.coder, s.encoder, s.max_error, s.relative, s.format,
            s.psnr or 0.0, s.bits_per_sample or 0.0)

    def __repr__(self) -> str:
        given = ", ".join(f"{k}={v!r}" for k, v in self.settings.config().items())
        return f"KestovaFilter({given})"


def settings_of(dataset: h5py.Dataset) -> _binding.FilterSettings:
    """The settings the filter records for ``dataset`` (an h5py Dataset using it), with the
    element type (``dtype``) and the elements per chunk (``chunk_elements``)."""
    plist = dataset.id.get_create_plist()
    for index in range(plist.get_nfilters()):
        code, _, values, _ = plist.get_filter(index)
        if code == FILTER_ID:
            return _binding.hdf5_filter_settings(values)
    raise ValueError(f"{dataset.name}: the dataset does not use the Kestova filter")


def _refuse_non_finite(values: npt.ArrayLike) -> None:
    """``ValueError``, worded as the codecs word it, when ``values`` hold NaN or infinities."""
    array = np.asarray(values)
    if array.dtype.kind != "f":
        return
    bad = ~np.isfinite(array.reshape(-1))
    count = int(np.count_nonzero(bad))
    if count:
        raise ValueError(f"refusing to compress {count} non-finite value(s) (NaN or infinity), "
                         f"the first at index {int(np.argmax(bad))}: Kestova would store them "
                         "as finite numbers")


class MandatoryDataset(h5py.Dataset):  # type: ignore[misc,unused-ignore]
    """A dataset whose Kestova filter is mandatory. Writes through it refuse NaN and infinities
    at once with a ``ValueError``, and so every other chunk the filter refuses (an error bound it
    cannot meet, a range too narrow to scale by): each write is flushed at once, and one the
    filter fails is undone (the selection gets its values back and is flushed again) before the
    ``ValueError``, so HDF5 never keeps a chunk it cannot write. A chunk that still reaches the
    filter unwritable (through another handle) makes HDF5 fail on flush or close, and the HDF5
    2.0 that h5py bundles may then crash when the process ends (docs/hdf5-filter.md)."""

    def __setitem__(self, args: Any, val: npt.ArrayLike) -> None:
        _refuse_non_finite(val)
        before = self[args]
        super().__setitem__(args, val)
        try:
            self.flush()
        except (OSError, RuntimeError) as failure:
            super().__setitem__(args, before)
            self.flush()
            raise ValueError(f"{self.name}: the Kestova filter refused a chunk this write "
                             f"touches ({failure}); the dataset keeps its values from before "
                             "the write. Compress the values with kestova_codecs.chunk.encode "
                             "and the filter's settings to see why") from None


def create_mandatory_dataset(group: h5py.Group, name: str,
                             shape: Union[int, tuple[int, ...], None] = None,
                             dtype: Optional[npt.DTypeLike] = None,
                             data: Optional[npt.ArrayLike] = None, *,
                             chunks: Union[bool, int, tuple[int, ...]],
                             filter: Optional[KestovaFilter] = None,
                             **kwargs: Any) -> MandatoryDataset:
    """``group.create_dataset(name, shape, dtype, data, chunks=chunks, **kwargs)`` with the
    Kestova filter mandatory, for those who prefer an error to a chunk stored raw: NaN and
    infinities raise ``ValueError`` (see ``MandatoryDataset``). ``filter`` gives the settings
    (default ``KestovaFilter()``); ``chunks`` is required, since one chunk is one container."""
    if "compression" in kwargs:
        raise TypeError("create_mandatory_dataset sets the filter itself; pass filter=, "
                        "not compression=")
    filter = filter or KestovaFilter()
    if dtype is not None or data is not None:
        check_dtype(dtype if dtype is not None else np.asarray(data).dtype)
    if data is not None:
        _refuse_non_finite(data)
    dcpl = h5py.h5p.create(h5py.h5p.DATASET_CREATE)
    dcpl.set_filter(FILTER_ID, h5py.h5z.FLAG_MANDATORY, filter.filter_options)
    if data is not None:  # written through the dataset's own checks, below
        data = np.asarray(data)
        shape = data.shape if shape is None else shape
        dtype = data.dtype if dtype is None else dtype
    dataset = MandatoryDataset(group.create_dataset(name, shape, dtype, chunks=chunks, dcpl=dcpl,
                                                    **kwargs).id)
    if data is not None:
        try:
            dataset[...] = data
        except ValueError:
            del group[name]  # nothing left under the name
            raise
    return dataset


def register() -> None:
    """Registers the plugin with h5py's HDF5 unless it knows the filter already (from
    ``HDF5_PLUGIN_PATH`` or an earlier call). Done on import."""
    if h5py.h5z.filter_avail(FILTER_ID):
        return
    plugin = ctypes.CDLL(str(_PLUGIN_FILE))
    plugin.H5PLget_plugin_info.restype = ctypes.c_void_p
    h5py.h5z.register_filter(plugin.H5PLget_plugin_info())


register()
