"""The codec's names, ranges and defaults, read once from its C++ tables through the binding:
Python code takes method, cutoff, coder and encoder names, the scale range and the defaults from
here."""

from __future__ import annotations

from kestova_codecs import _binding

_TABLES = _binding.tables()

METHODS: tuple[str, ...] = _TABLES["methods"]  # the default first
CUTOFFS: tuple[str, ...] = _TABLES["cutoffs"]  # fewest details zeroed first
CODERS: tuple[str, ...] = _TABLES["coders"]  # as options take them ("auto" chooses)
RECORDED_CODERS: tuple[str, ...] = _TABLES["recorded_coders"]  # as headers record them
MIN_SCALE, MAX_SCALE = _TABLES["scales"]
DEFAULTS: _binding.Defaults = _TABLES["defaults"]  # method, scale, cutoff, coder, encoder
MAX_SAMPLES: int = _TABLES["max_samples"]
HEADER_SIZE: int = _TABLES["header_size"]
SMALLEST_RANGE: float = _TABLES["smallest_range"]  # narrower nonzero ranges decode as flat
ELEMENT_TYPES: tuple[str, ...] = _TABLES["element_types"]  # NumPy names of what a chunk holds

PSNR_RANGE: tuple[float, float] = _TABLES["psnr_range"]  # the dB a version-2 target may ask
# the bits per sample a version-2 target may ask
BITS_PER_SAMPLE_RANGE: tuple[float, float] = _TABLES["bits_per_sample_range"]

ENCODERS: tuple[str, ...] = _TABLES["encoders"]  # how a container's coefficients are chosen
DEFAULT_ENCODER: str = DEFAULTS["encoder"]

read_header = _binding.read_header
