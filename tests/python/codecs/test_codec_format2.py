"""Version-2 chunks through the codec surfaces: every surface x element type x target stores
values within the target and decodes either version whatever its own format; configurations
without `format` stay version 1; stored version-2 arrays open in a fresh process; bad settings
are refused before anything is written."""

import json
import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from kestova_codecs import Kestova, chunk
from kestova_codecs.settings import Settings

from codec_checks import signal_of

zarr = pytest.importorskip("zarr")
from kestova_cli.main import main as command  # noqa: E402
from kestova_codecs import KestovaCodec  # noqa: E402

FIXTURES = Path(__file__).resolve().parent / "fixtures"
N = 3000
DTYPES = ["int8", "uint8", "int16", "uint16", "int32", "float32", "float64"]
# Each target's settings; an absolute bound's value is a fraction of the range, set per signal.
TARGETS = {
    "relative": {"max_error": 1e-3},
    "absolute": {"relative": False},
    "psnr": {"psnr": 60.0},
    "exact": {"max_error": 0},
    "bits": {"bits_per_sample": 6.0},
}
ABSOLUTE_FRACTION = 0.0213


def psnr_of(x, decoded):
    error = decoded.astype(np.float64) - x.astype(np.float64)
    rms = np.sqrt(np.mean(error ** 2))
    return np.inf if rms == 0 else 20 * np.log10(np.ptp(x.astype(np.float64)) / rms)


def numcodecs_surface(x, settings, tmp_path):
    codec = Kestova(dtype=x.dtype.str, format=2, **settings)
    stored = codec.encode(x)
    assert chunk.version_of(stored) == 2
    return codec.decode(stored)


def zarr_v3_surface(x, settings, tmp_path):
    fill = float("nan") if x.dtype.kind == "f" else 0
    array = zarr.create_array(store={}, shape=x.shape, dtype=x.dtype, chunks=(1024,),
                              fill_value=fill, compressors=None,
                              serializer=KestovaCodec(format=2, **settings))
    array[...] = x
    return array[...]


def command_surface(suffix):
    def run(x, settings, tmp_path):
        source, out, back = tmp_path / "in.npy", tmp_path / f"out{suffix}", tmp_path / "back.npy"
        np.save(source, x)
        flags = ["--format", "2"]
        if "psnr" in settings:
            flags += ["--psnr", repr(settings["psnr"])]
        elif "bits_per_sample" in settings:
            flags += ["--bits-per-sample", repr(settings["bits_per_sample"])]
        elif settings["max_error"]:
            flags += ["--max-error", repr(settings["max_error"])]
            flags += [] if settings.get("relative", True) else ["--absolute"]
        assert command(["compress", "-q", "-f", str(source), "-o", str(out), *flags]) == 0
        assert command(["decompress", "-q", "-f", str(out), "-o", str(back)]) == 0
        return np.load(back).reshape(x.shape)  # an .h5 dataset is channel x time
    return run


def hdf5_surface(x, settings, tmp_path):
    h5py = pytest.importorskip("h5py")
    from kestova_codecs.hdf5 import KestovaFilter

    fill = float("nan") if x.dtype.kind == "f" else 0
    with h5py.File(tmp_path / "f.h5", "w") as file:
        file.create_dataset("x", data=x, chunks=(1024,), fillvalue=fill,
                            compression=KestovaFilter(format=2, **settings))
    with h5py.File(tmp_path / "f.h5") as file:
        dataset = file["x"]
        assert all(dataset.id.get_chunk_info(i).filter_mask == 0 for i in range(3))  # not raw
        assert chunk.version_of(dataset.id.read_direct_chunk((0,))[1]) == 2
        return dataset[...]


SURFACES = {"numcodecs": numcodecs_surface, "zarr v3": zarr_v3_surface,
            "hdf5 filter": hdf5_surface, "command .kst": command_surface(".kst"),
            "command .zarr": command_surface(".zarr"), "command .h5": command_surface(".h5")}


@pytest.mark.parametrize("target", TARGETS)
@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize("surface", SURFACES)
def test_format2_round_trip_within_its_target(tmp_path, surface, dtype, target):
    x = signal_of(dtype, (N,))
    span = float(np.ptp(x.astype(np.float64)))
    settings = dict(TARGETS[target])
    allowed = {"relative": 1e-3 * span, "absolute": ABSOLUTE_FRACTION * span}.get(target, 0.0)
    if target == "absolute":
        settings["max_error"] = allowed
    if target == "exact" and dtype.startswith("float"):
        x = np.round(x)  # whole numbers: float chunks get them exactly too
    if target == "exact" and surface.startswith("command"):
        if dtype.startswith("float"):
            pytest.skip("the command takes no bound of 0: float sources need a target")
        settings = {"max_error": None}  # integer sources are stored exactly without a target
    decoded = SURFACES[surface](x, settings, tmp_path)
    assert decoded.dtype == x.dtype and decoded.shape == x.shape
    if target == "psnr":
        assert psnr_of(x, decoded) >= settings["psnr"]
    elif target == "bits":  # the size is checked per stream; here that the grid is a fine one
        assert psnr_of(x, decoded) >= 30
    else:
        error = np.max(np.abs(decoded.astype(np.float64) - x.astype(np.float64)))
        assert error <= allowed


def test_either_version_decodes_whatever_the_codec_format():
    x = signal_of("float32", (N,))
    v1, v2 = Kestova(), Kestova(format=2, max_error=1e-3)
    for writer in (v1, v2):
        stored = writer.encode(x)
        expected = writer.decode(stored)
        for reader in (v1, v2):
            np.testing.assert_array_equal(reader.decode(stored), expected)


def test_configuration_without_format_is_version_1():
    assert Kestova.from_config({"method": "db4"}).format == 1
    assert KestovaCodec.from_dict({"name": "kestova", "configuration": {"method": "db4"}}).format == 1
    assert KestovaCodec.from_dict({"name": "kestova"}).format == 1
    # a configuration naming format 2 alone needs no version-1 settings
    assert Kestova.from_config({"format": 2, "psnr": 50}).get_config()["psnr"] == 50
    assert KestovaCodec(format=2, max_error=0.01).to_dict()["configuration"] == {
        "max_error": 0.01, "relative": True, "format": 2, "psnr": None}
    assert Settings().format == 1  # new instances: version 1 until version 2 is the default


def test_zarr_v3_edge_chunk_keeps_its_trailing_nan_fill_out():
    x = signal_of("float32", (N,))
    array = zarr.create_array(store={}, shape=(N,), dtype="float32", chunks=(2048,),
                              fill_value=float("nan"), compressors=None,
                              serializer=KestovaCodec(format=2, max_error=1e-3))
    array[:] = x
    stored = array.store_path.store._store_dict["c/1"].to_bytes()
    assert chunk.version_of(stored) == 2
    assert chunk.announced_samples(stored) == N - 2048  # the NaN padding is left out
    assert np.max(np.abs(array[:] - x)) <= 1e-3 * np.ptp(x)


def test_format2_chunk_larger_than_its_chunk_is_refused_unread():
    stored = Kestova(format=2, max_error=1e-3).encode(signal_of("float32", (N,)))
    with pytest.raises(ValueError, match="announces 3000 samples"):
        Kestova().decode(stored, out=np.empty(N - 1, "float32"))
    with pytest.raises(ValueError, match="announces 3000 samples"):
        chunk.decode(stored, np.float32, N - 1, "trailing_nan")
    with pytest.raises(ValueError, match="holds 3000 samples"):
        chunk.decode(stored, np.int16, N + 1, "trailing_nan")
    damaged = bytearray(stored)
    damaged[-10] ^= 1
    with pytest.raises(ValueError):
        Kestova().decode(bytes(damaged))


BAD_SETTINGS = [
    ({"format": 3}, ValueError, "format must be 1 or 2"),
    ({"format": "2"}, TypeError, "format must be 1 or 2"),
    ({"format": True}, TypeError, "format must be 1 or 2"),
    ({"psnr": 50}, ValueError, "psnr is a version-2 target"),
    ({"format": 2, "scale": 8}, ValueError, "scale is a version-1 setting"),
    ({"format": 2, "method": "db4", "coder": "deflate"}, ValueError,
     "method, coder are version-1 settings"),
    ({"format": 2, "encoder": "reference"}, ValueError, "encoder is a version-1 setting"),
    ({"format": 2, "cutoff": "high", "max_error": 0.1}, ValueError, "cutoff is a version-1"),
    ({"format": 2, "psnr": 500}, ValueError, "psnr must be a number of dB from 1 to 200"),
    ({"format": 2, "psnr": float("nan")}, ValueError, "psnr must be a number of dB"),
    ({"format": 2, "psnr": "60"}, TypeError, "psnr must be a number of dB"),
    ({"format": 2, "psnr": 60, "max_error": 0.01}, ValueError, "give one target"),
    ({"format": 2, "max_error": -1}, ValueError, "max_error must be a finite number >= 0"),
    ({"bits_per_sample": 4}, ValueError, "bits_per_sample is a version-2 target"),
    ({"format": 2, "bits_per_sample": 0}, ValueError, "bits_per_sample must be a number of bits "
     "per sample from 0.01 to 64"),
    ({"format": 2, "bits_per_sample": float("inf")}, ValueError, "bits_per_sample must be"),
    ({"format": 2, "bits_per_sample": True}, TypeError, "bits_per_sample must be a number"),
    ({"format": 2, "bits_per_sample": 4, "psnr": 60}, ValueError,
     "give one target: max_error, psnr or bits_per_sample, not psnr and bits_per_sample"),
]


def test_float_array_without_a_version_2_target_is_refused_before_it_is_created():
    store = {}
    with pytest.raises(ValueError, match="format=2 needs max_error or psnr for float64"):
        zarr.create_array(store=store, shape=(10,), dtype="float64", compressors=None,
                          serializer=KestovaCodec(format=2))
    assert "zarr.json" not in store


@pytest.mark.parametrize("settings,error,message", BAD_SETTINGS)
def test_bad_settings_are_refused_and_nothing_is_written(settings, error, message):
    for codec in (Kestova, KestovaCodec):
        with pytest.raises(error, match=message):
            codec(**settings)


def test_hdf5_float_dataset_without_a_version_2_target_is_not_created(tmp_path):
    h5py = pytest.importorskip("h5py")
    from kestova_codecs.hdf5 import KestovaFilter

    with h5py.File(tmp_path / "f.h5", "w") as file:
        with pytest.raises(ValueError):
            file.create_dataset("x", data=np.zeros(100, "f4"), chunks=(50,),
                                compression=KestovaFilter(format=2))
        assert "x" not in file


def test_hdf5_values_record_the_format_and_refuse_version_1_settings_with_it():
    pytest.importorskip("h5py")
    from kestova_codecs import _binding
    from kestova_codecs.hdf5 import KestovaFilter

    values = KestovaFilter(format=2, psnr=70).filter_options
    assert values[0] == 2  # layout version 2: version-2 chunks
    assert _binding.hdf5_filter_settings(values)["psnr"] == 70
    assert _binding.hdf5_filter_settings(KestovaFilter().filter_options)["format"] == 1
    assert _binding.hdf5_filter_settings([1])["format"] == 1  # files written before
    with pytest.raises(ValueError, match="version-1 settings"):
        other_method = KestovaFilter(method="db4").filter_options[1]  # by some other writer
        _binding.hdf5_filter_settings([2, other_method])
    for psnr in (0.0, 500.0):
        low, high = struct.unpack("<II", struct.pack("<d", psnr))
        with pytest.raises(ValueError, match="psnr must be a number of dB"):
            _binding.hdf5_filter_settings([2, *values[1:6], 3, low, high])
    rate = KestovaFilter(format=2, bits_per_sample=2.5).filter_options
    assert _binding.hdf5_filter_settings(rate)["bits_per_sample"] == 2.5
    assert _binding.hdf5_filter_settings(values)["bits_per_sample"] is None
    for bits, message in ((0.0, "above 0"), (float("nan"), "above 0"), (100.0, "from 0.01")):
        low, high = struct.unpack("<II", struct.pack("<d", bits))
        with pytest.raises(ValueError, match=message):
            _binding.hdf5_filter_settings([2, *values[1:6], 4, low, high])
    with pytest.raises(ValueError, match="bound kind value 4"):  # a version-1 layout has none
        _binding.hdf5_filter_settings([1, *values[1:6], 4, 0, 0])


V2_STORES = ["zarr_v3_format2", "zarr_v2_format2_f4", "zarr_v2_format2_i2"]


@pytest.mark.parametrize("store", V2_STORES)
def test_stored_format2_array_opens_in_a_fresh_process(store):
    script = ("import sys, numpy, zarr; a = zarr.open_array(sys.argv[1], mode='r'); "
              "expected = numpy.load(sys.argv[2]); d = a[:]; "
              "assert d.dtype == expected.dtype, d.dtype; "
              "assert numpy.array_equal(d, expected, equal_nan=True); print('ok')")
    result = subprocess.run([sys.executable, "-c", script, str(FIXTURES / f"{store}.zarr"),
                             str(FIXTURES / f"{store}.decoded.npy")], capture_output=True,
                            text=True)
    assert result.returncode == 0, result.stderr
    folder = FIXTURES / f"{store}.zarr"
    metadata = folder / ("zarr.json" if (folder / "zarr.json").exists() else ".zarray")
    text = json.loads(metadata.read_text())
    config = text["codecs"][0]["configuration"] if "codecs" in text else text["compressor"]
    assert config["format"] == 2
    chunks = [p for p in folder.rglob("*") if p.is_file() and not p.name.startswith((".z", "zarr"))]
    assert chunks and all(chunk.version_of(p.read_bytes()) == 2 for p in chunks)
    values = np.load(FIXTURES / f"{store}.input.npy")
    decoded = np.load(FIXTURES / f"{store}.decoded.npy")
    if values.dtype.kind in "iu":
        np.testing.assert_array_equal(decoded, values)  # stored exactly
    else:
        assert np.max(np.abs(decoded - values)) <= 1e-3 * np.ptp(values, axis=1).max()


HDF5_FRESH_READ = """
import json, sys
import h5py, numpy
from kestova_codecs import chunk, hdf5
expected = numpy.load(sys.argv[2])
with h5py.File(sys.argv[1]) as file:
    for name in expected.files:
        dataset = file[name]
        assert numpy.array_equal(dataset[...], expected[name], equal_nan=True), name
        chunks = [dataset.id.read_direct_chunk((row, start)) for row in range(2)
                  for start in (0, 2048)]
        assert all(mask == 0 for mask, _ in chunks), name  # none stored raw
        print(json.dumps({"name": name, "settings": hdf5.settings_of(dataset),
                          "versions": [chunk.version_of(bytes(data)) for _, data in chunks],
                          "bits": [8 * len(data) / chunk.announced_samples(bytes(data))
                                   for _, data in chunks]}))
"""


@pytest.mark.parametrize("name", ["hdf5_format1", "hdf5_format2"])
def test_stored_hdf5_file_opens_in_a_fresh_process(name):
    """Each dataset decodes in a fresh process to the values it decoded to when written (the
    plugin registered by importing kestova_codecs.hdf5), holds its recorded settings and chunk
    version, and the inputs are within its target."""
    pytest.importorskip("h5py")
    from make_fixtures import HDF5_FILES

    result = subprocess.run([sys.executable, "-c", HDF5_FRESH_READ, str(FIXTURES / f"{name}.h5"),
                             str(FIXTURES / f"{name}.decoded.npz")], capture_output=True,
                            text=True)
    assert result.returncode == 0, result.stderr
    read = {row["name"]: row for row in map(json.loads, result.stdout.splitlines())}
    inputs, decoded = np.load(FIXTURES / f"{name}.input.npz"), np.load(
        FIXTURES / f"{name}.decoded.npz")
    assert sorted(read) == sorted(HDF5_FILES[name])
    for dataset, (settings, _dtype) in HDF5_FILES[name].items():
        recorded, x, y = read[dataset]["settings"], inputs[dataset], decoded[dataset]
        assert recorded["format"] == settings.get("format", 1)
        assert set(read[dataset]["versions"]) == {settings.get("format", 1)}
        assert {k: recorded[k] for k in settings} == settings
        if "psnr" in settings:
            assert psnr_of(x, y) >= settings["psnr"]
        elif "bits_per_sample" in settings:
            assert max(read[dataset]["bits"]) <= settings["bits_per_sample"]
        elif "max_error" in settings or "format" in settings:  # v1 without a bound is lossy
            bound = settings.get("max_error", 0) * np.ptp(x.astype(np.float64), axis=1).max()
            assert np.max(np.abs(y.astype(np.float64) - x)) <= bound


COMMAND_REFUSALS = [
    ("out.kst", ["--format", "2"], "float samples need --max-error or --psnr"),
    ("out.zarr", ["--format", "2"], "float samples need --max-error or --psnr"),
    ("out.h5", ["--format", "2"], "float samples need --max-error or --psnr"),
    ("out.kst", ["--format", "2", "--scale", "8"], "--scale: version-1 setting"),
    ("out.kst", ["--format", "2", "--method", "db4", "--encoder", "reference"],
     "--method, --encoder: version-1 settings"),
    ("out.kst", ["--format", "2", "--psnr", "60", "--max-error", "1e-3"], "give one target"),
    ("out.kst", ["--format", "3"], "invalid choice"),
]


def exit_status(argv):
    try:
        return command(argv)
    except SystemExit as exit:  # the parser's refusals
        return exit.code


@pytest.mark.parametrize("output,flags,message", COMMAND_REFUSALS)
def test_command_refuses_bad_format_2_settings_and_writes_nothing(tmp_path, capsys, output,
                                                                   flags, message):
    source = tmp_path / "in.npy"
    np.save(source, signal_of("float32", (N,)))
    assert exit_status(["compress", "-q", str(source), "-o", str(tmp_path / output), *flags]) == 2
    assert message in capsys.readouterr().err
    assert not (tmp_path / output).exists()
