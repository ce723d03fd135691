"""The HDF5 filter in Debian's HDF5 1.10 tools: h5dump prints what h5py reads from a file h5py
wrote with the filter; h5repack compresses a plain file with the plugin (HDF5 1.10's own writer)
and h5py reads the result back within the bound of the settings; failures are reported."""

import os
import re
import shutil
import subprocess

import numpy as np
import pytest

h5py = pytest.importorskip("h5py")

from kestova_codecs.hdf5 import FILTER_ID, PLUGIN_PATH, KestovaFilter, settings_of  # noqa: E402

from codec_checks import max_error_allowed  # noqa: E402
from hdf5_support import assert_chunks_are_containers, layout_values  # noqa: E402

pytestmark = pytest.mark.skipif(shutil.which("h5dump") is None or shutil.which("h5repack") is None,
                                reason="needs Debian's hdf5-tools (scripts/test.sh installs them)")


def tool(*args, plugin=True):
    env = {k: v for k, v in os.environ.items() if k != "HDF5_PLUGIN_PATH"}
    if plugin:
        env["HDF5_PLUGIN_PATH"] = PLUGIN_PATH
    return subprocess.run(list(map(str, args)), capture_output=True, text=True, env=env,
                          timeout=300)


def dumped_values(path, name):
    """The values h5dump prints for dataset `name`, or None for an empty DATA block."""
    result = tool("h5dump", "-d", name, "-y", "-w", "0", "-m", "%.17g", path)
    assert result.returncode == 0, result.stderr
    data = re.search(r"DATA \{(.*?)\}", result.stdout, re.S).group(1)
    numbers = data.replace(",", " ").split()
    return np.array(numbers, np.float64) if numbers else None


@pytest.mark.parametrize("dtype", ["f4", "f8", "i2", "u1"])
def test_h5dump_prints_what_h5py_reads(tmp_path, dtype):
    values, chunks = layout_values(dtype, "channels x time")
    path = tmp_path / "f.h5"
    with h5py.File(path, "w") as file:
        file.create_dataset("x", data=values, chunks=chunks, compression=KestovaFilter())
    with h5py.File(path) as file:
        read = file["x"][...]
    np.testing.assert_array_equal(dumped_values(path, "x"), read.reshape(-1).astype(np.float64))
    # Without the plugin h5dump prints nothing and still exits 0: the trap the README names.
    assert tool("h5dump", "-d", "x", path, plugin=False).stdout.count("DATA {") == 1
    assert dumped_values_without_plugin(path) is None


def dumped_values_without_plugin(path):
    result = tool("h5dump", "-d", "x", "-y", path, plugin=False)
    data = re.search(r"DATA \{(.*?)\}", result.stdout, re.S).group(1)
    return None if not re.search(r"\d", data) else data


def write_plain(path):
    plain = {dtype: layout_values(dtype, "channels x time")[0] for dtype in ("f4", "i2", "u2")}
    with h5py.File(path, "w") as file:
        for dtype, values in plain.items():
            file.create_dataset(dtype, data=values, chunks=(1, 2048))
        file.create_dataset("i8", data=np.arange(4096), chunks=(1024,))
    return plain


@pytest.mark.parametrize("ud, scale", [(f"{FILTER_ID},0,0", 11),
                                       (f"{FILTER_ID},1,3,1,1,9", 9)])
def test_h5repack_compresses_a_plain_file(tmp_path, ud, scale):
    plain = write_plain(tmp_path / "plain.h5")
    result = tool("h5repack", "-f", f"f4,i2,u2:UD={ud}", tmp_path / "plain.h5",
                  tmp_path / "packed.h5")
    assert result.returncode == 0, result.stderr
    with h5py.File(tmp_path / "packed.h5") as file:
        for dtype, values in plain.items():
            dataset = file[dtype]
            recorded = settings_of(dataset)
            assert (recorded["scale"], recorded["dtype"]) == (scale, values.dtype.name)
            read = dataset[...]
            assert read.dtype == values.dtype
            error = np.max(np.abs(read.astype(np.float64) - values))
            assert error <= max_error_allowed(values, relative=8e-3 if scale == 9 else 2e-3)
            assert dataset.id.get_storage_size() < values.nbytes
            assert_chunks_are_containers(dataset, values)
        np.testing.assert_array_equal(file["i8"][...], np.arange(4096))


def test_h5repack_reports_what_the_filter_refuses(tmp_path):
    values, _ = layout_values("f4", "1-D")
    values[1234] = np.nan
    with h5py.File(tmp_path / "nan.h5", "w") as file:
        file.create_dataset("x", data=values, chunks=(5000,))
    result = tool("h5repack", "-E", "-f", f"UD={FILTER_ID},0,0", tmp_path / "nan.h5",
                  tmp_path / "out.h5")
    assert result.returncode != 0
    assert "non-finite value(s) (NaN or infinity), the first at index 1234" in result.stderr
    # h5repack goes on without the filter when creating a dataset fails; the reason is shown.
    result = tool("h5repack", "-E", "-f", f"UD={FILTER_ID},0,1,7", tmp_path / "nan.h5",
                  tmp_path / "out2.h5")
    assert "unknown settings layout version 7" in result.stderr
