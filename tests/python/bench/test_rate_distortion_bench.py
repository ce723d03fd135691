"""The rate-distortion benchmark's own logic: targets, sweeps, geometric means, tables, checks."""

import math
import sys
from pathlib import Path
from types import SimpleNamespace

import numpy as np
import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[3] / "bench"))

from comparelib import matching, rd_report, rd_tools, timing, tools  # noqa: E402
from comparelib.matching import Quality  # noqa: E402
from comparelib.rd_tools import REFERENCE, TUNED, Target  # noqa: E402


def q(ratio, max_err=1e-3, psnr=60.0):
    return Quality(ratio, max_err, max_err / 4, psnr, 1.0)


SIGNAL = np.random.default_rng(3).uniform(-1, 1, 4000).astype(np.float32)


class TestTargets:
    def test_max_error_and_psnr_are_met_inclusively(self):
        assert Target("max", 1e-3).met_by(q(1, max_err=1e-3))
        assert not Target("max", 1e-3).met_by(q(1, max_err=1.01e-3))
        assert Target("psnr", 60).met_by(q(1, psnr=60.0))
        assert not Target("psnr", 60).met_by(q(1, psnr=59.9))

    def test_every_bound_and_psnr_of_the_issue(self):
        kinds = [(t.kind, t.value) for t in rd_tools.targets()]
        assert [v for k, v in kinds if k == "max"] == [1e-2, 3e-3, 1e-3, 5e-4, 1e-4, 1e-5]
        assert len([k for k, _ in kinds if k == "psnr"]) >= 3

    def test_sweep_keeps_the_smallest_output_that_meets_the_target(self):
        sweep = {(9, "low"): q(20, psnr=55), (11, "low"): q(8, psnr=66), (12, "low"): q(5, psnr=72),
                 (11, "high"): q(12, psnr=61)}
        assert rd_tools.best_of_sweep(sweep, Target("psnr", 60)).ratio == 12
        assert rd_tools.best_of_sweep(sweep, Target("psnr", 80)) is None


class TestKestovaWrapper:
    @staticmethod
    def error_bound(with_encoder: bool, calls: list):
        if with_encoder:
            def compress_within(x, max_error, *, relative=True, method="cdf97", coder=None,
                                encoder="tuned"):
                calls.append((max_error, method, encoder))
                if max_error < 1e-3:
                    raise ValueError("cannot be met")
                return b"x"
        else:
            def compress_within(x, max_error, *, relative=True, method="cdf97", coder=None):
                calls.append((max_error, method, None))
                return b"x"
        return SimpleNamespace(compress_within=compress_within)

    def test_encoders_are_known_from_the_signature(self):
        assert rd_tools.encoders(self.error_bound(True, [])) == ("reference", "tuned")
        assert rd_tools.encoders(self.error_bound(False, [])) == ()

    def test_reference_search_keeps_its_one_method_and_unmet_bounds_are_none(self):
        calls = []
        k = rd_tools.Kestova(None, None, self.error_bound(True, calls))
        assert k.within(SIGNAL, 1e-2, "reference") == b"x"
        assert k.within(SIGNAL, 1e-2, "tuned") == b"x"
        assert k.within(SIGNAL, 5e-4, "tuned") is None
        assert calls == [(1e-2, "cdf97", "reference"), (1e-2, None, "tuned"), (5e-4, None, "tuned")]

    def test_builds_without_encoder_argument_call_the_plain_search(self):
        calls = []
        k = rd_tools.Kestova(None, None, self.error_bound(False, calls))
        k.within(SIGNAL, 3e-3, "reference")
        assert calls == [(3e-3, "cdf97", None)]


class TestMeans:
    ROWS = {"a": {REFERENCE: q(4), TUNED: q(8), "sz3": q(10)},
            "b": {REFERENCE: q(2), TUNED: q(2), "sz3": None},
            "c": {REFERENCE: None, TUNED: q(3), "sz3": q(6)}}

    def test_geomean(self):
        assert rd_report.geomean([2, 8]) == pytest.approx(4)
        assert math.isnan(rd_report.geomean([]))

    def test_ratio_to_best_per_recording(self):
        assert rd_report.to_best(self.ROWS["a"]) == {REFERENCE: 0.4, TUNED: 0.8, "sz3": 1.0}
        assert rd_report.to_best(self.ROWS["b"])["sz3"] is None

    def test_tool_and_paired_means_count_only_met_recordings(self):
        assert rd_report.tool_geomean(self.ROWS, TUNED) == (pytest.approx(48 ** (1 / 3)), 3)
        assert rd_report.tool_geomean(self.ROWS, REFERENCE) == (pytest.approx(8 ** 0.5), 2)
        g, n = rd_report.paired_geomean(self.ROWS, TUNED, REFERENCE)
        assert (g, n) == (pytest.approx(2 ** 0.5), 2)

    def test_table_marks_unmet_and_counts(self):
        text = rd_report.table(Target("max", 1e-3), self.ROWS, [REFERENCE, TUNED, "sz3"])
        assert "unmet" in text and "(2/3)" in text and "(3/3)" in text
        assert text.splitlines()[0] == "== ratio at max err 0.001"


class TestChecks:
    def test_ratio_targets_bound_and_sz3(self):
        results = {Target("max", 1e-2): TestMeans.ROWS,
                   Target("max", 5e-4): {"a": {TUNED: q(3)}, "b": {TUNED: None}},
                   Target("psnr", 60): {"a": {TUNED: q(12), "sz3": q(10)}}}
        lines = rd_report.target_checks(results)
        assert lines[0].startswith("tuned / today's compress_within at max err 0.01: 1.414")
        assert lines[0].endswith("NOT met")
        assert lines[1] == "bound 5e-4 met by tuned on 1/2 recordings (not on b)"
        assert any(line.startswith("tuned / SZ3 at PSNR 60 dB: 1.200") for line in lines)

    def test_without_tuned_nothing_is_checked(self):
        lines = rd_report.target_checks({Target("max", 1e-2): {"a": {REFERENCE: q(3)}}})
        assert lines == ["no target checked: the tuned encoder was not measured"]

    def test_fixed_setting_gain_and_bytes(self):
        pairs = {"a": (q(10, psnr=60), q(10, psnr=65)), "b": (q(10, psnr=60), q(9.8, psnr=64.5))}
        line = rd_report.fixed_setting_check(pairs, "scale 11, cutoff low")
        assert "least +4.50 dB" in line and line.endswith("met")
        pairs["b"] = (q(10, psnr=60), q(9, psnr=64.5))  # 1.054 times the bytes on average
        assert rd_report.fixed_setting_check(pairs, "s").endswith("NOT met")
        # The gain counts on average over the recordings, not on each one.
        pairs["b"] = (q(10, psnr=60), q(10, psnr=63.5))
        assert rd_report.fixed_setting_check(pairs, "s").endswith(": met")
        pairs["b"] = (q(10, psnr=60), q(10, psnr=62.5))
        assert rd_report.fixed_setting_check(pairs, "s").endswith("NOT met")


def test_psnr_matching_lands_on_the_coarsest_step_reaching_it():
    def rounding(step):
        return tools.Tool("round", f"{step}", lambda x: (np.rint(x / step) * step).astype(np.float32).tobytes(),
                          lambda p: np.frombuffer(p, dtype=np.float32))
    tool = matching.match_continuous(rounding, SIGNAL, 0.0, 1e-2, meets=lambda r: r.psnr >= 60)
    reached = matching.round_trip(tool, SIGNAL).psnr
    assert 60 <= reached < 61


def test_cpu_seconds_runs_every_job_once_per_round_interleaved():
    calls = []
    seconds = timing.cpu_seconds({n: (lambda n=n: calls.append(n)) for n in "abc"}, 2)
    assert calls == ["a", "b", "c", "b", "c", "a"]
    assert set(seconds) == {"a", "b", "c"} and all(s >= 0 for s in seconds.values())


def test_plot_writes_a_png(tmp_path):
    pytest.importorskip("matplotlib")
    results = {Target("max", 1e-2): TestMeans.ROWS, Target("psnr", 60): TestMeans.ROWS}
    path = tmp_path / "rd.png"
    rd_report.plot(results, [REFERENCE, TUNED, "sz3"], str(path))
    assert path.read_bytes()[:4] == b"\x89PNG"
