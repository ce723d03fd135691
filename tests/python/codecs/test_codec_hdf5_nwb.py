"""An NWB file written with pynwb whose ElectricalSeries data goes through the HDF5 filter reads
back with pynwb in a fresh process."""

import json
from datetime import datetime, timezone

import numpy as np
import pytest

pynwb = pytest.importorskip("pynwb")

from hdmf.backends.hdf5.h5_utils import H5DataIO  # noqa: E402
from kestova_codecs.hdf5 import KestovaFilter, settings_of  # noqa: E402

from codec_checks import max_error_allowed, signal_of  # noqa: E402
from hdf5_support import run_python  # noqa: E402

READ_BACK = """
    import json
    import numpy as np
    import kestova_codecs.hdf5
    from pynwb import NWBHDF5IO
    with NWBHDF5IO({path!r}, "r") as io:
        series = io.read().acquisition["recording"]
        print(json.dumps({{"data": np.asarray(series.data[:]).tolist(), "rate": series.rate,
                           "dtype": str(series.data.dtype)}}))
"""


def write_nwb(path, data):
    nwb = pynwb.NWBFile(session_description="filter test", identifier="kestova-hdf5",
                        session_start_time=datetime(2026, 1, 1, tzinfo=timezone.utc))
    device = nwb.create_device(name="probe")
    group = nwb.create_electrode_group(name="shank", description="test shank",
                                       location="nowhere", device=device)
    for _ in range(data.shape[1]):
        nwb.add_electrode(group=group, location="nowhere")
    electrodes = nwb.create_electrode_table_region(list(range(data.shape[1])), "all")
    wrapped = H5DataIO(data, **KestovaFilter(), allow_plugin_filters=True,
                       chunks=(4096, 1))
    nwb.add_acquisition(pynwb.ecephys.ElectricalSeries(
        name="recording", data=wrapped, electrodes=electrodes, rate=30_000.0))
    with pynwb.NWBHDF5IO(str(path), "w") as io:
        io.write(nwb)


@pytest.mark.parametrize("dtype", ["f4", "i2"])
def test_electrical_series_round_trip(tmp_path, dtype):
    data = signal_of(dtype, (10_000, 3), order="F")  # time x channels, as NWB stores it
    path = tmp_path / "session.nwb"
    write_nwb(path, data)
    with pynwb.NWBHDF5IO(str(path), "r") as io:
        dataset = io.read().acquisition["recording"].data
        assert settings_of(dataset)["dtype"] == data.dtype.name
        assert dataset.id.get_storage_size() < data.nbytes
    read = json.loads(run_python(READ_BACK.format(path=str(path))))
    assert read["rate"] == 30_000.0 and read["dtype"] == data.dtype.name
    values = np.array(read["data"])
    assert values.shape == data.shape
    for channel in range(data.shape[1]):
        error = np.max(np.abs(values[:, channel] - data[:, channel]))
        assert error <= max_error_allowed(data[:, channel])
