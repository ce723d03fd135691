"""Stored chunks keep decoding to what they decoded to when written (fixtures by make_fixtures.py),
and the same input still compresses as well."""

import json
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

numcodecs = pytest.importorskip("numcodecs")

import kestova  # noqa: E402

from codec_checks import assert_close  # noqa: E402

FIXTURES = Path(__file__).resolve().parent / "fixtures"
NAMES = sorted(path.stem for path in FIXTURES.glob("*.json"))


def load(name):
    codec = numcodecs.get_codec(json.loads((FIXTURES / f"{name}.json").read_text()))
    chunk = (FIXTURES / f"{name}.kstv").read_bytes()
    return (codec, chunk, np.load(FIXTURES / f"{name}.input.npy"),
            np.load(FIXTURES / f"{name}.decoded.npy"))


def rounding_slack(values):
    # The engine's processor-specific paths agree up to float rounding; integers may flip by 1.
    return 1.0 if values.dtype.kind in "iu" else 1e-5 * float(np.ptp(values))


def test_fixtures_are_present():
    assert len(NAMES) >= 7


@pytest.mark.parametrize("name", NAMES)
def test_stored_chunk_decodes_as_it_did(name):
    codec, chunk, _, decoded = load(name)
    result = codec.decode(chunk)
    assert result.dtype == decoded.dtype
    assert_close(decoded, result, rounding_slack(decoded))
    assert_close(decoded, kestova.decompress_signal(chunk), rounding_slack(decoded) + 0.5)


@pytest.mark.parametrize("name", NAMES)
def test_input_still_compresses_to_the_same_quality(name):
    codec, chunk, values, decoded = load(name)
    stored_error = float(np.max(np.abs(decoded.astype(np.float64) - values)))
    encoded = codec.encode(values)
    assert len(encoded) <= len(chunk) * 1.01
    assert_close(values, codec.decode(encoded), stored_error + rounding_slack(values))


STORES = ["zarr_v3_nan_fill", "zarr_v3_tuned"]


@pytest.mark.parametrize("store", STORES)
def test_stored_zarr_array_reads_as_it_did(store):
    zarr = pytest.importorskip("zarr")
    array = zarr.open_array(FIXTURES / f"{store}.zarr", mode="r")
    decoded = np.load(FIXTURES / f"{store}.decoded.npy")
    assert array.shape == decoded.shape and array.dtype == decoded.dtype
    assert_close(decoded, array[:], rounding_slack(decoded))


@pytest.mark.parametrize("store", STORES)
def test_stored_zarr_array_opens_in_a_fresh_process_and_keeps_its_encoder(store):
    pytest.importorskip("zarr")
    script = ("import sys, numpy, zarr; a = zarr.open_array(sys.argv[1], mode='r'); "
              "expected = numpy.load(sys.argv[2]); "
              "assert numpy.nanmax(numpy.abs(a[:] - expected)) <= 1e-5 * numpy.nanmax(numpy.abs(expected)); "
              "print(a.metadata.codecs[0].encoder)")
    result = subprocess.run([sys.executable, "-c", script, str(FIXTURES / f"{store}.zarr"),
                             str(FIXTURES / f"{store}.decoded.npy")], capture_output=True,
                            text=True)
    assert result.returncode == 0, result.stderr
    stored = json.loads((FIXTURES / f"{store}.zarr" / "zarr.json").read_text())["codecs"][0]
    # The store without a recorded encoder was written by the reference encoder.
    assert result.stdout.strip() == stored["configuration"].get("encoder", "reference")
