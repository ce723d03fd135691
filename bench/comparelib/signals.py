"""Test signals: smooth synthetic, white noise, and the ALSA sample recordings."""

import wave
from pathlib import Path

import numpy as np

ALSA_SOUNDS = Path("/usr/share/sounds/alsa")


# A sum of slow sines and a chirp: the kind of signal a wavelet coder is built for.
def smooth(n: int) -> np.ndarray:
    t = np.linspace(0.0, 1.0, n, dtype=np.float64)
    x = (np.sin(2 * np.pi * 3 * t) + 0.5 * np.sin(2 * np.pi * 17 * t + 0.3)
         + 0.25 * np.sin(2 * np.pi * (5 + 40 * t) * t))
    return x.astype(np.float32)


# Gaussian white noise with a fixed seed: the worst case for every transform coder.
def white_noise(n: int) -> np.ndarray:
    return np.random.default_rng(12345).standard_normal(n, dtype=np.float32)


# Mono samples of one 16-bit PCM WAV file scaled to [-1, 1), or None if it is not 16-bit PCM.
def read_wav16(path: Path) -> np.ndarray | None:
    with wave.open(str(path), "rb") as w:
        if w.getsampwidth() != 2:
            return None
        frames = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        channels = w.getnchannels()
    mono = frames.reshape(-1, channels).mean(axis=1) if channels > 1 else frames
    return (mono / 32768.0).astype(np.float32)


# The ALSA sample sounds concatenated and tiled to n samples, or None when none are installed.
def alsa_recordings(n: int, folder: Path = ALSA_SOUNDS) -> np.ndarray | None:
    parts = [p for p in (read_wav16(f) for f in sorted(folder.glob("*.wav"))) if p is not None]
    if not parts:
        return None
    joined = np.concatenate(parts)
    return np.resize(joined, n)


GENERATORS = {"smooth": smooth, "noise": white_noise, "alsa": alsa_recordings}


# The named signal at n samples as float32, or None when its source is absent on this machine.
def make(name: str, n: int) -> np.ndarray | None:
    return GENERATORS[name](n)
