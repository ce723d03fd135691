"""Writes the stored-chunk fixtures that test_codec_fixtures.py and test_codec_format2.py read
back: for each case, the codec's config, its input, the chunk it wrote and the values that chunk
decoded to; zarr stores and HDF5 files likewise, with their inputs and decoded values. Existing
fixtures are never overwritten: they are what earlier releases stored.

    python tests/python/codecs/make_fixtures.py
    python tests/python/codecs/make_fixtures.py --rewrite-format2

Version-2 streams are not yet released, so their bytes may still change; --rewrite-format2
deletes every fixture written with format 2 (the zarr stores, zarr v2 arrays and HDF5 file
named *format2*) and writes them anew with the installed build. The tests of those fixtures
compare decoded values with the .decoded files written beside them and the inputs with their
targets, never stored bytes, so rewriting them is all a change of the version-2 stream needs.
"""

import json
import shutil
import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE), str(HERE.parent)]

import numcodecs  # noqa: E402

from codec_checks import signal_of  # noqa: E402

CASES = {
    "default_f4": ({"id": "kestova"}, "<f4"),
    "db4_deflate_scale8_high_i2": ({"id": "kestova", "method": "db4", "scale": 8,
                                    "cutoff": "high", "coder": "deflate", "dtype": "<i2"}, "<i2"),
    "cdf53_arans_scale12_medium_f8": ({"id": "kestova", "method": "cdf53", "scale": 12,
                                       "cutoff": "medium", "coder": "arans", "dtype": "<f8"},
                                      "<f8"),
    "sym4_scale6_u1": ({"id": "kestova", "method": "sym4", "scale": 6, "dtype": "|u1"}, "|u1"),
    "max_error_f4": ({"id": "kestova", "max_error": 0.005}, "<f4"),
    "tuned_f4": ({"id": "kestova", "encoder": "tuned"}, "<f4"),
    "tuned_max_error_open_method_i2": ({"id": "kestova", "encoder": "tuned", "max_error": 0.002,
                                        "method": None, "dtype": "<i2"}, "<i2"),
}


# zarr v3 arrays whose last chunk along time is cut by the edge, under xarray's NaN fill value:
# one written before codecs recorded their encoder (the reference encoder's), one by the tuned
# encoder, with the codec settings of each.
STORES = {
    "zarr_v3_nan_fill": {"method": "db4", "scale": 10},
    "zarr_v3_tuned": {"method": "db4", "scale": 10, "encoder": "tuned"},
    "zarr_v3_format2": {"format": 2, "max_error": 1e-3},
}
# zarr v2 arrays through the numcodecs codec, with version-2 chunks: float32 within a bound, and
# int16 stored exactly.
V2_ARRAYS = {
    "zarr_v2_format2_f4": ({"format": 2, "max_error": 1e-3}, "<f4"),
    "zarr_v2_format2_i2": ({"format": 2, "dtype": "<i2"}, "<i2"),
}


def write_store(name, settings):
    import zarr

    from kestova_codecs import KestovaCodec

    values = signal_of("<f4", (2, 3000))
    array = zarr.create_array(HERE / "fixtures" / f"{name}.zarr", shape=values.shape,
                              dtype=values.dtype, chunks=(1, 2048), fill_value=float("nan"),
                              serializer=KestovaCodec(**settings), compressors=None)
    array[:] = values
    np.save(HERE / "fixtures" / f"{name}.input.npy", values)
    np.save(HERE / "fixtures" / f"{name}.decoded.npy", array[:])


def write_v2_array(name, settings, dtype):
    import zarr

    from kestova_codecs import Kestova

    values = signal_of(dtype, (2, 3000))
    array = zarr.create_array(HERE / "fixtures" / f"{name}.zarr", shape=values.shape,
                              dtype=values.dtype, chunks=(1, 2048), zarr_format=2, filters=None,
                              compressors=Kestova(**settings), fill_value=0)
    array[:] = values
    np.save(HERE / "fixtures" / f"{name}.input.npy", values)
    np.save(HERE / "fixtures" / f"{name}.decoded.npy", array[:])


# HDF5 files through the filter, dataset name -> (filter settings, dtype): one as files were
# written before version 2 (layout 1), one with every version-2 target (layout 2). Each dataset
# is channels x time, chunks of 2048 with the last one partial under the fill value.
HDF5_FILES = {
    "hdf5_format1": {"float32": ({"max_error": 1e-3}, "<f4"), "int16": ({}, "<i2")},
    "hdf5_format2": {"float32": ({"format": 2, "max_error": 1e-3}, "<f4"),
                     "int16": ({"format": 2}, "<i2"),
                     "psnr": ({"format": 2, "psnr": 70.0}, "<f8"),
                     "rate": ({"format": 2, "bits_per_sample": 4.0}, "<f4")},
}


def write_hdf5(name, datasets):
    import h5py

    from kestova_codecs.hdf5 import KestovaFilter

    inputs, decoded = {}, {}
    with h5py.File(HERE / "fixtures" / f"{name}.h5", "w") as file:
        for dataset, (settings, dtype) in datasets.items():
            values = signal_of(dtype, (2, 3000))
            fill = float("nan") if values.dtype.kind == "f" else 0
            file.create_dataset(dataset, data=values, chunks=(1, 2048), fillvalue=fill,
                                compression=KestovaFilter(**settings))
            inputs[dataset] = values
    with h5py.File(HERE / "fixtures" / f"{name}.h5") as file:
        decoded = {dataset: file[dataset][...] for dataset in datasets}
    np.savez_compressed(HERE / "fixtures" / f"{name}.input.npz", **inputs)
    np.savez_compressed(HERE / "fixtures" / f"{name}.decoded.npz", **decoded)


def remove_format2():
    """Deletes every fixture written with format 2, so that main() writes it anew."""
    for path in (HERE / "fixtures").glob("*format2*"):
        shutil.rmtree(path) if path.is_dir() else path.unlink()
        print("removed", path.name)


def main():
    if "--rewrite-format2" in sys.argv[1:]:
        remove_format2()
    for name, datasets in HDF5_FILES.items():
        if not (HERE / "fixtures" / f"{name}.h5").exists():
            write_hdf5(name, datasets)
            print("wrote", name)
    for name, (settings, dtype) in V2_ARRAYS.items():
        if not (HERE / "fixtures" / f"{name}.zarr").exists():
            write_v2_array(name, settings, dtype)
            print("wrote", name)
    for name, settings in STORES.items():
        if not (HERE / "fixtures" / f"{name}.zarr").exists():
            write_store(name, settings)
            print("wrote", name)
    for name, (config, dtype) in CASES.items():
        if (HERE / "fixtures" / f"{name}.json").exists():
            continue
        codec = numcodecs.get_codec(dict(config))
        values = signal_of(dtype, (3000,))
        chunk = codec.encode(values)
        np.save(HERE / "fixtures" / f"{name}.input.npy", values)
        (HERE / "fixtures" / f"{name}.kstv").write_bytes(chunk)
        np.save(HERE / "fixtures" / f"{name}.decoded.npy", codec.decode(chunk))
        (HERE / "fixtures" / f"{name}.json").write_text(json.dumps(codec.get_config()) + "\n")
        print("wrote", name)


if __name__ == "__main__":
    main()
