"""Every compressor under test behind one shape: a named compress/decompress pair."""

import struct
import zlib
from dataclasses import dataclass
from typing import Any, Callable

import numpy as np
from kestova_codecs import tables


@dataclass
class Tool:
    family: str  # the curve a tool belongs to in the plots ("kestova", "zfpy accuracy", ...)
    setting: str  # its settings, shown beside the family in the tables
    compress: Callable[[np.ndarray], Any]
    decompress: Callable[[Any], np.ndarray]
    lossless: bool = False
    default: bool = False  # Kestova at its default settings: the reference of every comparison

    @property
    def label(self) -> str:
        return f"{self.family} {self.setting}".strip()


# Size in bytes of a payload returned by one of the compress functions (SZ3's carries its shape).
def payload_size(payload: Any) -> int:
    if isinstance(payload, tuple):
        payload = payload[0]
    return payload.nbytes if isinstance(payload, np.ndarray) else len(payload)


# --- Kestova ---------------------------------------------------------------------------------

# The options' names, ranges and defaults are the codec's own (kestova_codecs.tables).
KESTOVA_DEFAULT = {key: tables.DEFAULTS[key] for key in ("method", "scale", "cutoff", "coder")}


# Kestova with the given options; the default coder "auto" codes with arans.
def kestova_tool(module, method=KESTOVA_DEFAULT["method"], scale=KESTOVA_DEFAULT["scale"],
                 cutoff=KESTOVA_DEFAULT["cutoff"], coder=KESTOVA_DEFAULT["coder"]) -> Tool:
    options = module.KestovaCompressionOptions(method=method, scale=scale, cutoff=cutoff, coder=coder)
    default = dict(method=method, scale=scale, cutoff=cutoff, coder=coder) == KESTOVA_DEFAULT
    setting = f"{method}/{coder} s{scale} {cutoff}" + (" (default)" if default else "")
    return Tool("kestova", setting, lambda x: module.compress_signal(x, options),
                module.decompress_signal, default=default)


# The settings compared in the tables: every method with both coders, then scales and cutoffs.
def kestova_settings() -> list[dict]:
    settings = [dict(KESTOVA_DEFAULT)]
    default_method, default_scale = KESTOVA_DEFAULT["method"], KESTOVA_DEFAULT["scale"]
    finest_cutoff = tables.CUTOFFS[0]
    for method in tables.METHODS:
        for coder in tables.RECORDED_CODERS:
            # "auto" codes with arans: the default method with arans is already the first row.
            if (method, coder) != (default_method, "arans"):
                settings.append(dict(KESTOVA_DEFAULT, method=method, coder=coder))
    scales_and_cutoffs = [(8, finest_cutoff), (tables.MAX_SCALE, finest_cutoff)]
    scales_and_cutoffs += [(default_scale, cutoff) for cutoff in tables.CUTOFFS[1:]]
    for scale, cutoff in scales_and_cutoffs:
        settings.append(dict(KESTOVA_DEFAULT, scale=scale, cutoff=cutoff))
    return settings


# --- PyWavelets + int16 + zlib, as a user would write it by hand ----------------------------

_PYWT_HEADER = struct.Struct("<QdddfB")  # n, min, range, mean, step, levels
PYWT_WAVELET = "bior4.4"
PYWT_MAX_LEVELS = 8


# Hand-made wavelet coder: normalise to the range, wavedec (bior4.4, periodization), quantise to
# int16 with the step `step` (in units of the range, widened if the coefficients would clip) and
# zlib level 6.
def pywt_zlib_tool(pywt, step: float) -> Tool:
    wavelet = pywt.Wavelet(PYWT_WAVELET)

    def coeff_lengths(n: int, levels: int) -> list[int]:
        details = []
        for _ in range(levels):
            n = pywt.dwt_coeff_len(n, wavelet.dec_len, "periodization")
            details.append(n)
        return [details[-1]] + details[::-1]

    def compress(x: np.ndarray) -> bytes:
        lo, hi = float(x.min()), float(x.max())
        rng = hi - lo if hi > lo else 1.0
        xn = (x - np.float32(lo)) * np.float32(1.0 / rng)
        mean = float(xn.mean())
        xn -= np.float32(mean)
        levels = max(1, min(PYWT_MAX_LEVELS, pywt.dwt_max_level(x.size, wavelet.dec_len)))
        flat = np.concatenate(pywt.wavedec(xn, wavelet, mode="periodization", level=levels))
        s = max(step, float(np.abs(flat).max()) / 32767.0)
        q = np.rint(flat * np.float32(1.0 / s)).astype(np.int16)
        head = _PYWT_HEADER.pack(x.size, lo, rng, mean, s, levels)
        return head + zlib.compress(q.tobytes(), 6)

    def decompress(payload: bytes) -> np.ndarray:
        n, lo, rng, mean, s, levels = _PYWT_HEADER.unpack_from(payload)
        q = np.frombuffer(zlib.decompress(payload[_PYWT_HEADER.size:]), dtype=np.int16)
        flat = q.astype(np.float32) * np.float32(s)
        bounds = np.cumsum(coeff_lengths(n, levels))[:-1]
        xn = pywt.waverec(np.split(flat, bounds), wavelet, mode="periodization")[:n]
        return ((xn + np.float32(mean)) * np.float32(rng) + np.float32(lo)).astype(np.float32)

    return Tool("pywt+zlib", f"{PYWT_WAVELET} step={step:.3g}", compress, decompress)


# --- zfpy --------------------------------------------------------------------------------------

# zfp in fixed-accuracy mode: absolute error at most `tolerance`.
def zfpy_accuracy_tool(zfpy, tolerance: float) -> Tool:
    return Tool("zfpy accuracy", f"tol={tolerance:.3g}",
                lambda x: zfpy.compress_numpy(x, tolerance=tolerance), zfpy.decompress_numpy)


# zfp in fixed-rate mode: `rate` bits per sample, error not bounded.
def zfpy_rate_tool(zfpy, rate: float) -> Tool:
    return Tool("zfpy rate", f"rate={rate:g}",
                lambda x: zfpy.compress_numpy(x, rate=rate), zfpy.decompress_numpy)


# --- SZ3 through pysz ----------------------------------------------------------------------------

# SZ3 with an absolute error bound, single-threaded, the package's default predictor.
def sz3_tool(pysz, bound: float) -> Tool:
    def compress(x: np.ndarray):
        config = pysz.szConfig()
        config.openmp = False
        config.errorBoundMode = pysz.szErrorBoundMode.ABS
        config.absErrorBound = bound
        payload, _ratio = pysz.sz.compress(x, config)
        return payload, x.shape

    def decompress(packed) -> np.ndarray:
        payload, shape = packed
        return pysz.sz.decompress(payload, np.float32, shape)[0]

    return Tool("sz3 abs", f"bound={bound:.3g}", compress, decompress)


# --- numcodecs -----------------------------------------------------------------------------------

# numcodecs Zlib level 6 over the raw float32 bytes: the lossless baseline.
def numcodecs_zlib_tool(numcodecs) -> Tool:
    codec = numcodecs.Zlib(level=6)
    return Tool("numcodecs zlib", "level=6", codec.encode,
                lambda p: np.frombuffer(codec.decode(p), dtype=np.float32), lossless=True)


# numcodecs Quantize (`digits` decimal digits kept) followed by Zlib level 6.
def numcodecs_quantize_tool(numcodecs, digits: int) -> Tool:
    quantize = numcodecs.Quantize(digits=digits, dtype="<f4")
    codec = numcodecs.Zlib(level=6)
    return Tool("numcodecs quantize+zlib", f"digits={digits}",
                lambda x: codec.encode(quantize.encode(x)),
                lambda p: quantize.decode(np.frombuffer(codec.decode(p), dtype=np.float32)))


# --- Kestova version 2 ---------------------------------------------------------------------------

# A version-2 stream through kestova_codecs.encode_signal with one target (max_error relative to
# the range, psnr in dB, or none: integer samples exactly), decoded in the samples' own type.
def kestova_v2_tool(codecs, **target) -> Tool:
    setting = " ".join(f"{k}={v:g}" for k, v in target.items()) or "exact"
    return Tool("kestova v2", setting, lambda x: codecs.encode_signal(x, **target),
                codecs.decode_signal, lossless=not target)


# --- lilcom --------------------------------------------------------------------------------------

# lilcom: samples on multiples of 2^tick_power, predicted by regression on the previous ones.
# It takes ticks from 2^-20 up only, so samples are first scaled by 2^-octave (exact: a power of
# two) to a range near 1, as a user would; it quantises its input in place, so it gets a copy.
def lilcom_tool(lilcom, tick_power: int, octave: int = 0) -> Tool:
    def compress(x: np.ndarray) -> bytes:
        return lilcom.compress(np.ldexp(x, -octave).astype(x.dtype), tick_power=tick_power)

    return Tool("lilcom", f"tick=2^{tick_power + octave}", compress,
                lambda p: np.ldexp(lilcom.decompress(p), octave).astype(np.float32))


# --- lossless integer coders ----------------------------------------------------------------------

# pcodec's standalone format over int32 samples, default chunk configuration; exact.
def pcodec_tool(pcodec) -> Tool:
    from pcodec import ChunkConfig, standalone

    return Tool("pcodec", "lossless",
                lambda x: standalone.simple_compress(x.astype(np.int32), ChunkConfig()),
                lambda p: standalone.simple_decompress(p).astype(np.float32), lossless=True)


# FLAC through soundfile (libsndfile), mono, 16- or 24-bit by the samples' extent; exact for
# whole-number samples within that width.
def flac_tool(soundfile, bits: int) -> Tool:
    import io

    subtype = {16: "PCM_16", 24: "PCM_24"}[bits]

    def compress(x: np.ndarray) -> bytes:
        out = io.BytesIO()
        soundfile.write(out, x.astype(np.int32) << (32 - bits), 48000, subtype=subtype,
                        format="FLAC")
        return out.getvalue()

    def decompress(payload: bytes) -> np.ndarray:
        values, _rate = soundfile.read(io.BytesIO(payload), dtype="int32")
        return (values >> (32 - bits)).astype(np.float32)

    return Tool("flac", subtype, compress, decompress, lossless=True)
