"""The comparison benchmark's own logic: error figures, knob matching, signals, peer loading."""

import math
import sys
import wave
from pathlib import Path

import numpy as np
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[3] / "bench"))

from comparelib import matching, peers, signals, timing, tools  # noqa: E402


def rounding_tool(step: float) -> tools.Tool:
    """Rounds to multiples of `step`: maximum error just under step / 2."""
    return tools.Tool("round", f"{step}", lambda x: (np.rint(x / step) * step).astype(np.float32).tobytes(),
                      lambda p: np.frombuffer(p, dtype=np.float32))


def bits_tool(bits: int) -> tools.Tool:
    return rounding_tool(2.0 ** -bits)


SIGNAL = np.random.default_rng(7).uniform(-1, 1, 5000).astype(np.float32)


class TestQuality:
    def test_offset_reconstruction(self):
        x = np.array([0, 1, 2, 4], dtype=np.float32)
        q = matching.quality(x, x + np.float32(0.25), 8)
        assert (q.ratio, q.max_err, q.rms_err, q.range) == (2.0, 0.0625, 0.0625, 4.0)
        assert q.psnr == pytest.approx(20 * math.log10(16))
        assert q.abs_max_err == 0.25

    def test_lossless_is_infinite_psnr(self):
        assert math.isinf(matching.quality(SIGNAL, SIGNAL.copy(), 10).psnr)

    def test_flat_signal_has_unit_range(self):
        x = np.full(10, 3.0, np.float32)
        assert matching.quality(x, x + np.float32(0.5), 4).max_err == 0.5

    def test_wrong_length_is_refused(self):
        with pytest.raises(ValueError, match="decoded"):
            matching.quality(SIGNAL, SIGNAL[:-1], 10)


class TestMatching:
    @pytest.mark.parametrize("start_factor", [1.0, 1e-4, 1e4])
    def test_continuous_lands_just_inside_target(self, start_factor):
        target = 0.01
        tool = matching.match_continuous(rounding_tool, SIGNAL, target, start=target * start_factor)
        err = matching.round_trip(tool, SIGNAL).abs_max_err
        assert 0.95 * target < err <= target

    def test_continuous_stops_when_knob_never_limits(self):
        lossless = tools.Tool("id", "", lambda x: x.tobytes(), lambda p: np.frombuffer(p, np.float32))
        tool = matching.match_continuous(lambda _k: lossless, SIGNAL, 1e-3, start=1e-3)
        assert tool is lossless

    def test_continuous_fails_when_nothing_reaches_target(self):
        offset = tools.Tool("off", "", lambda x: (x + 1).tobytes(), lambda p: np.frombuffer(p, np.float32))
        with pytest.raises(RuntimeError):
            matching.match_continuous(lambda _k: offset, SIGNAL, 1e-3, start=1e-3)

    @pytest.mark.parametrize("target,bits", [(0.01, 6), (0.1, 3), (1e-9, 20)])
    def test_integer_picks_smallest_fitting_knob(self, target, bits):
        tool = matching.match_integer(bits_tool, SIGNAL, target, 0, 20)
        assert tool.setting == f"{2.0 ** -bits}"


class TestPywtPipeline:
    @pytest.mark.parametrize("n", [257, 1000, 100_003])
    def test_round_trip_keeps_length_and_error(self, n):
        pywt = pytest.importorskip("pywt")
        x = signals.smooth(n)
        tool = tools.pywt_zlib_tool(pywt, 2.0 ** -11)
        q = matching.round_trip(tool, x)
        assert q.max_err < 2.0 ** -8

    def test_flat_signal(self):
        pywt = pytest.importorskip("pywt")
        x = np.full(4096, -2.5, np.float32)
        y = tools.pywt_zlib_tool(pywt, 1e-3).decompress(tools.pywt_zlib_tool(pywt, 1e-3).compress(x))
        np.testing.assert_allclose(y, x, atol=1e-6)


class TestSignals:
    def test_alsa_reader_downmixes_scales_and_tiles(self, tmp_path):
        frames = np.array([[100, 300], [-32768, -32768], [0, 2]], dtype="<i2")
        with wave.open(str(tmp_path / "a.wav"), "wb") as w:
            w.setnchannels(2)
            w.setsampwidth(2)
            w.setframerate(48000)
            w.writeframes(frames.tobytes())
        x = signals.alsa_recordings(7, tmp_path)
        expected = np.array([200, -32768, 1] * 3, dtype=np.float64)[:7] / 32768
        np.testing.assert_array_equal(x, expected.astype(np.float32))

    def test_alsa_absent(self, tmp_path):
        assert signals.alsa_recordings(10, tmp_path) is None

    @pytest.mark.parametrize("name", ["smooth", "noise"])
    def test_synthetic_are_float32_of_requested_length(self, name):
        x = signals.make(name, 1234)
        assert x.dtype == np.float32 and x.shape == (1234,) and np.isfinite(x).all()


def test_timing_runs_every_tool_once_per_round():
    calls = []
    def counting(tag):
        return tools.Tool(tag, "", lambda x: calls.append(tag) or b"", lambda p: SIGNAL)
    speeds = timing.measure([counting("a"), counting("b"), counting("c")], SIGNAL, 3)
    assert len(speeds) == 3 and all(s.compress > 0 and s.decompress > 0 for s in speeds)
    assert calls == ["a", "b", "c", "b", "c", "a", "c", "a", "b"]


def test_peer_failing_at_import_is_reported(tmp_path, monkeypatch):
    (tmp_path / "broken_peer_mod.py").write_text("raise ValueError('bad version string')\n")
    monkeypatch.syspath_prepend(str(tmp_path))
    found, missing = peers.load(["broken_peer_mod", "math", "no_such_module_here"])
    assert list(found) == ["math"]
    assert missing["broken_peer_mod"] == "ValueError: bad version string"
    assert missing["no_such_module_here"].startswith("ModuleNotFoundError")
