"""The HDF5 filter through h5py: round trips of every element type and layout, chunks that are
plain Kestova containers, fresh processes that find the filter by HDF5_PLUGIN_PATH or by
importing kestova_codecs.hdf5, NaN under the optional and the mandatory filter, and containers
that do not fit their chunk."""

import json
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

h5py = pytest.importorskip("h5py")

import kestova  # noqa: E402
from kestova_codecs import _binding  # noqa: E402
from kestova_codecs.hdf5 import (FILTER_ID, PLUGIN_PATH, KestovaFilter,  # noqa: E402
                                 create_mandatory_dataset, settings_of)

from codec_checks import max_error_allowed  # noqa: E402
from hdf5_support import (DTYPES, LAYOUTS, assert_chunks_are_containers,  # noqa: E402
                          layout_values, run_python)


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("dtype", DTYPES)
def test_round_trip_in_own_type_with_containers_as_chunks(tmp_path, dtype, layout):
    values, chunks = layout_values(dtype, layout)
    with h5py.File(tmp_path / "f.h5", "w") as file:
        file.create_dataset("x", data=values, chunks=chunks, compression=KestovaFilter())
    with h5py.File(tmp_path / "f.h5") as file:
        dataset = file["x"]
        read = dataset[...]
        assert read.dtype == values.dtype and read.shape == values.shape
        error = np.max(np.abs(read.astype(np.float64) - values.astype(np.float64)))
        assert error <= max_error_allowed(values)
        assert dataset.id.get_storage_size() < values.size * 4
        assert_chunks_are_containers(dataset, values)
        recorded = settings_of(dataset)
    assert recorded["dtype"] == values.dtype.name
    assert recorded["chunk_elements"] == np.prod(chunks)


def test_settings_are_recorded_and_applied(tmp_path):
    values, chunks = layout_values("f4", "1-D")
    settings = dict(method="db4", scale=8, cutoff="high", coder="deflate", encoder="reference")
    with h5py.File(tmp_path / "f.h5", "w") as file:
        file.create_dataset("x", data=values, chunks=chunks, compression=KestovaFilter(**settings))
        mask, data = file["x"].id.read_direct_chunk((0,))
        recorded = settings_of(file["x"])
    options = kestova.KestovaCompressionOptions(**{k: v for k, v in settings.items()
                                                   if k != "encoder"})
    # The reference encoder writes exactly what compress_signal writes.
    assert bytes(data) == kestova.compress_signal(values[: chunks[0]], options)
    assert {k: recorded[k] for k in settings} == settings


def test_error_bound_holds_per_chunk(tmp_path):
    values, chunks = layout_values("f4", "1-D")
    with h5py.File(tmp_path / "f.h5", "w") as file:
        file.create_dataset("rel", data=values, chunks=chunks,
                            compression=KestovaFilter(max_error=1e-2))
        file.create_dataset("abs", data=values, chunks=chunks,
                            compression=KestovaFilter(max_error=0.05, relative=False))
        file.create_dataset("chosen", data=values, chunks=chunks,
                            compression=KestovaFilter(method=None, max_error=1e-2))
        relative, absolute, chosen = (file[name][...] for name in ("rel", "abs", "chosen"))
        assert settings_of(file["abs"])["relative"] is False
        assert settings_of(file["chosen"])["method"] is None
    for start in range(0, values.size, chunks[0]):
        part = slice(start, start + chunks[0])
        for decoded in (relative, chosen):
            assert np.max(np.abs(decoded[part] - values[part])) <= 1e-2 * np.ptp(values[part])
    assert np.max(np.abs(absolute - values)) <= 0.05


def test_settings_refused_with_the_codecs_messages():
    with pytest.raises(ValueError, match="Unknown method"):
        KestovaFilter(method="haar")
    with pytest.raises(ValueError, match="leave scale and cutoff at their defaults"):
        KestovaFilter(max_error=1e-2, scale=9)
    with pytest.raises(ValueError, match="tuned encoder"):
        KestovaFilter(max_error=1e-2, encoder="reference")
    with pytest.raises(ValueError, match="Unknown encoder"):
        KestovaFilter(encoder="fast")


def test_values_without_settings_mean_the_reference_defaults():
    defaults = _binding.hdf5_filter_settings(())
    assert defaults == {"method": "cdf97", "scale": 11, "cutoff": "low", "coder": None,
                        "encoder": "reference", "max_error": None, "relative": True,
                        "format": 1, "psnr": None, "bits_per_sample": None}
    assert _binding.hdf5_filter_settings((1, 2, 9)) == {**defaults, "method": "db4", "scale": 9}
    bad_values = ((3,), (1, 99), (1, 1, 13), (1, 1, 11, 0, 2, 7), (1, 1, 11, 0, 2, 0, 1, 0, 0),
                  (1, 255, 11, 0, 2, 1))  # a chosen method without a bound
    for bad in bad_values:
        with pytest.raises(ValueError, match="kestova filter"):
            _binding.hdf5_filter_settings(bad)


WRITE_AND_READ = """
    import json, sys
    import numpy as np, h5py
    sys.path[:0] = {support!r}
    from hdf5_support import DTYPES, LAYOUTS, layout_values
    mine, theirs, options, importing = {mine!r}, {theirs!r}, {options!r}, {importing!r}
    if importing:
        import kestova_codecs.hdf5
    else:
        assert h5py.h5z.filter_avail({filter_id})  # found through HDF5_PLUGIN_PATH alone
    with h5py.File(mine, "w") as file:
        for dtype in DTYPES:
            for layout in LAYOUTS:
                values, chunks = layout_values(dtype, layout)
                file.create_dataset(dtype + layout, data=values, chunks=chunks,
                                    compression={filter_id}, compression_opts=tuple(options))
    read = {{}}
    if theirs:
        with h5py.File(theirs) as file:
            for name, dataset in file.items():
                read[name] = dataset[...].tolist()
    print(json.dumps({{"read": read, "imported": "kestova_codecs.hdf5" in sys.modules}}))
"""


def test_fresh_processes_by_plugin_path_and_by_import(tmp_path):
    """One process finds the plugin only through HDF5_PLUGIN_PATH, one only imports
    kestova_codecs.hdf5; each reads every dataset the other wrote, as the writer decodes it."""
    import os

    support = [os.path.dirname(__file__), os.path.dirname(os.path.dirname(__file__))]
    options = KestovaFilter(encoder="reference").filter_options
    common = dict(support=support, options=options, filter_id=FILTER_ID)
    by_path = tmp_path / "by_path.h5"
    by_import = tmp_path / "by_import.h5"
    first = json.loads(run_python(WRITE_AND_READ.format(
        mine=str(by_path), theirs="", importing=False, **common),
        env_extra={"HDF5_PLUGIN_PATH": PLUGIN_PATH}))
    assert not first["imported"]
    second = json.loads(run_python(WRITE_AND_READ.format(
        mine=str(by_import), theirs=str(by_path), importing=True, **common)))
    third = json.loads(run_python(WRITE_AND_READ.format(
        mine=str(tmp_path / "again.h5"), theirs=str(by_import), importing=False, **common),
        env_extra={"HDF5_PLUGIN_PATH": PLUGIN_PATH}))
    with h5py.File(by_path) as written_by_path, h5py.File(by_import) as written_by_import:
        assert set(second["read"]) == set(written_by_path) == set(third["read"])
        for name in written_by_path:
            np.testing.assert_array_equal(second["read"][name], written_by_path[name][...])
            np.testing.assert_array_equal(third["read"][name], written_by_import[name][...])


def test_optional_filter_stores_a_nan_chunk_raw_and_exactly(tmp_path):
    values, chunks = layout_values("f4", "1-D")
    values[4000] = np.nan
    values[7000] = np.inf
    with h5py.File(tmp_path / "f.h5", "w") as file:
        file.create_dataset("x", data=values, chunks=chunks, compression=KestovaFilter())
    with h5py.File(tmp_path / "f.h5") as file:
        dataset = file["x"]
        masks = [dataset.id.get_chunk_info(i).filter_mask for i in range(4)]
        assert masks == [0, 1, 1, 0]  # the filter skipped the second and third chunks
        np.testing.assert_array_equal(dataset[3000:9000], values[3000:9000])


def test_trailing_nan_of_an_edge_chunk_is_restored(tmp_path):
    values, chunks = layout_values("f8", "1-D")
    values[-500:] = np.nan  # as data and as the NaN fill value of the partial last chunk
    with h5py.File(tmp_path / "f.h5", "w") as file:
        file.create_dataset("x", data=values, chunks=chunks, fillvalue=np.nan,
                            compression=KestovaFilter())
    with h5py.File(tmp_path / "f.h5") as file:
        assert file["x"].id.get_chunk_info(3).filter_mask == 0
        read = file["x"][...]
    np.testing.assert_array_equal(np.isnan(read), np.isnan(values))


def test_mandatory_helper_refuses_nan_at_write(tmp_path):
    values, chunks = layout_values("f4", "channels x time")
    values[1, 10] = np.nan
    message = r"refusing to compress 1 non-finite value\(s\).*the first at index 10:"
    with h5py.File(tmp_path / "f.h5", "w") as file:
        with pytest.raises(ValueError, match=message.replace("10", str(values.shape[1] + 10))):
            create_mandatory_dataset(file, "x", data=values, chunks=chunks)
        dataset = create_mandatory_dataset(file, "y", shape=values.shape, dtype="f4",
                                           chunks=chunks)
        dataset[0] = values[0]
        with pytest.raises(ValueError, match=message):
            dataset[1] = values[1]
        with pytest.raises(ValueError, match="cannot store dtype int64"):
            create_mandatory_dataset(file, "z", data=np.arange(10), chunks=(5,))
        plist = dataset.id.get_create_plist()
        assert plist.get_filter(0)[:2] == (FILTER_ID, h5py.h5z.FLAG_MANDATORY)
    with h5py.File(tmp_path / "f.h5") as file:
        read = file["y"][0]
    assert np.max(np.abs(read - values[0])) <= max_error_allowed(values[0])


def test_mandatory_filter_fails_at_flush_when_nan_reaches_it(tmp_path):
    """Written through a plain h5py handle, a NaN chunk reaches the mandatory filter: the flush
    raises. (HDF5 2.0 may crash closing a dataset after such a failure, so the process leaves
    at once.)"""
    code = f"""
        import os, numpy as np, h5py
        from kestova_codecs.hdf5 import create_mandatory_dataset
        file = h5py.File({str(tmp_path / 'f.h5')!r}, "w")
        dataset = create_mandatory_dataset(file, "x", shape=(4000,), dtype="f4", chunks=(1000,))
        values = np.sin(np.arange(4000, dtype="f4"))
        values[1500] = np.nan
        h5py.Dataset(dataset.id)[...] = values  # past the helper's own check
        try:
            file.flush()
            print("flushed")
        except Exception as error:
            print(type(error).__name__, error)
        os._exit(0)
    """
    out = run_python(code)
    assert out.startswith("RuntimeError") and "filter returned failure" in out, out


@pytest.mark.parametrize("given", ["data=", "a write"])
def test_a_mandatory_filter_refusing_a_chunk_leaves_a_file_that_closes(tmp_path, given):
    """An unreachable bound fails the write at once, the dataset keeps its earlier values, and
    the process ends normally (HDF5 2.0 crashes at exit when a refused chunk stays cached)."""
    code = f"""
        import numpy as np, h5py
        from kestova_codecs.hdf5 import KestovaFilter, create_mandatory_dataset
        values = np.sin(np.arange(4000, dtype="f4")) * 1000
        tight = KestovaFilter(max_error=1e-9, relative=False)
        with h5py.File({str(tmp_path / 'f.h5')!r}, "w") as file:
            try:
                if {given!r} == "data=":
                    create_mandatory_dataset(file, "x", data=values, chunks=(1000,), filter=tight)
                else:
                    dataset = create_mandatory_dataset(file, "x", shape=(4000,), dtype="f4",
                                                       chunks=(1000,), filter=tight)
                    dataset[:1000] = 0
                    dataset[500:1500] = values[:1000]
            except ValueError as error:
                print("refused", error)
        with h5py.File({str(tmp_path / 'f.h5')!r}) as file:
            print(sorted(file), float(np.abs(file["x"][...]).max()) if "x" in file else None)
    """
    out = run_python(code)
    assert "refused" in out and "filter returned failure" in out, out
    assert out.splitlines()[-1] == ("[] None" if given == "data=" else "['x'] 0.0"), out


def test_a_container_that_does_not_fit_its_chunk_is_refused(tmp_path):
    """The header's sample count is checked against the chunk before anything is decoded."""
    with h5py.File(tmp_path / "f.h5", "w") as file:
        for name, dtype in (("f", "f4"), ("i", "i2")):
            dataset = file.create_dataset(name, shape=(2000,), dtype=dtype, chunks=(1000,),
                                          compression=KestovaFilter())
            longer = np.sin(np.arange(1001, dtype="f4"))
            dataset.id.write_direct_chunk((0,), kestova.compress_signal(longer))
            dataset.id.write_direct_chunk((1000,), b"not a container" * 10)
        # A shorter container is a trailing NaN run for floats, and wrong for integers.
        file["i"].id.write_direct_chunk((0,), kestova.compress_signal(longer[:999]))
    with h5py.File(tmp_path / "f.h5") as file:
        for name in ("f", "i"):
            for part in (slice(0, 1000), slice(1000, 2000)):
                with pytest.raises(OSError):
                    file[name][part]


def test_unsupported_types_are_left_unfiltered(tmp_path):
    """int64 and big-endian data pass an optional filter raw; reading gives them back."""
    with h5py.File(tmp_path / "f.h5", "w") as file:
        for name, values in (("i8", np.arange(3000)), ("be", np.arange(3000, dtype=">f4"))):
            file.create_dataset(name, data=values, chunks=(1000,), compression=KestovaFilter())
    with h5py.File(tmp_path / "f.h5") as file:
        np.testing.assert_array_equal(file["i8"][...], np.arange(3000))
        np.testing.assert_array_equal(file["be"][...], np.arange(3000))
        assert file["i8"].id.get_chunk_info(0).filter_mask == 1


@pytest.mark.skipif(shutil.which("nm") is None or shutil.which("ldd") is None,
                    reason="needs binutils' nm and the loader's ldd")
def test_plugin_exports_only_its_entry_points_and_needs_no_hdf5():
    plugin = Path(PLUGIN_PATH) / "libh5kestova.so"
    symbols = subprocess.run(["nm", "-D", "--defined-only", str(plugin)], capture_output=True,
                             text=True, check=True).stdout.split()
    exported = {name for kind, name in zip(symbols[1::3], symbols[2::3]) if kind in "TDBRVW"}
    assert exported == {"H5PLget_plugin_type", "H5PLget_plugin_info"}
    needed = subprocess.run(["ldd", str(plugin)], capture_output=True, text=True,
                            check=True).stdout
    assert "hdf5" not in needed


def test_the_filter_must_see_values_first(tmp_path):
    """A shuffle before the filter would hand it bytes to compress as numbers: refused at
    creation. A checksum after it is fine."""
    values, chunks = layout_values("f4", "1-D")
    with h5py.File(tmp_path / "f.h5", "w") as file:
        with pytest.raises(ValueError, match="must be the first filter of the pipeline"):
            file.create_dataset("x", data=values, chunks=chunks, compression=KestovaFilter(),
                                shuffle=True)
        file.create_dataset("y", data=values, chunks=chunks, compression=KestovaFilter(),
                            fletcher32=True)
        assert np.max(np.abs(file["y"][...] - values)) <= max_error_allowed(values)
