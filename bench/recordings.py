"""Real recordings that installed packages ship, as 1-D float32 arrays by name: obspy's bundled
seismic traces, matplotlib's sample EEG and membrane recordings, PyWavelets' ECG, and the ALSA
sample sounds (Debian's alsa-utils). A source whose package is missing is skipped.

    python bench/recordings.py DIR    # writes each as DIR/<name>.f32 (raw little-endian float32)
"""

from __future__ import annotations

import sys
import wave
from pathlib import Path

import numpy as np

ALSA_SOUNDS = Path("/usr/share/sounds/alsa")


def _obspy() -> dict[str, np.ndarray]:
    try:
        import obspy
    except ImportError:
        return {}
    out = {}
    for trace in obspy.read():  # the bundled example: three 3000-sample traces
        out[f"seismic-{trace.stats.channel}"] = trace.data
    base = Path(obspy.__file__).parent
    for name in ("core/tests/data/IU_ULN_00_LH1_2015-07-18T02.mseed",
                 "io/mseed/tests/data/fullseed.mseed"):
        path = base / name
        if path.exists():
            trace = obspy.read(str(path))[0]
            out[f"seismic-{path.stem}"] = trace.data
    return out


def _matplotlib() -> dict[str, np.ndarray]:
    try:
        from matplotlib import cbook
    except ImportError:
        return {}
    with cbook.get_sample_data("eeg.dat") as f:
        eeg = np.fromfile(f, dtype=float).reshape(800, 4)
    with cbook.get_sample_data("membrane.dat") as f:
        membrane = np.fromfile(f, np.float32)
    return {"eeg-channel0": eeg[:, 0], "eeg-channel3": eeg[:, 3], "membrane": membrane}


def _pywt() -> dict[str, np.ndarray]:
    try:
        import pywt
    except ImportError:
        return {}
    return {"ecg": pywt.data.ecg()}


def _alsa() -> dict[str, np.ndarray]:
    out = {}
    for name in ("Front_Center", "Rear_Left", "Noise"):
        path = ALSA_SOUNDS / f"{name}.wav"
        if not path.exists():
            continue
        with wave.open(str(path)) as w:
            frames = np.frombuffer(w.readframes(w.getnframes()), "<i2")
            out[f"alsa-{name}"] = frames[:: w.getnchannels()]
    return out


def recordings() -> dict[str, np.ndarray]:
    """Every available recording, as a contiguous 1-D float32 array."""
    found = {}
    for source in (_obspy, _matplotlib, _pywt, _alsa):
        for name, values in source().items():
            found[name] = np.ascontiguousarray(np.asarray(values, np.float64).astype(np.float32))
    return found


if __name__ == "__main__":
    target = Path(sys.argv[1])
    target.mkdir(parents=True, exist_ok=True)
    for name, values in recordings().items():
        values.astype("<f4").tofile(target / f"{name}.f32")
        print(f"{name}: {values.size} samples, range {np.ptp(values):.4g}")
