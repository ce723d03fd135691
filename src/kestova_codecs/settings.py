"""What both codecs are configured with: the stream format (1 or 2), Kestova's four version-1
compression options, checked by the kestova module's own options class, the optional error bound
or (version 2) PSNR or bits per sample, and the version-1 encoder."""

from __future__ import annotations

import dataclasses
import math
import numbers
import operator
from dataclasses import dataclass
from typing import Any, Optional

import numpy as np

from kestova import KestovaCompressionOptions

from kestova_codecs import _binding
from kestova_codecs.error_bound import check_encoder, check_max_error
from kestova_codecs.tables import BITS_PER_SAMPLE_RANGE, DEFAULT_ENCODER, DEFAULTS, PSNR_RANGE

# The encoder of every store written before stores recorded one: a configuration without
# `encoder` means it, so appending to such an array keeps its encoder.
UNRECORDED_ENCODER = "reference"
# The format of every store written before stores recorded one, and still that of new codecs:
# version 2 becomes the default once it meets its speed targets (docs/v2-research.md).
UNRECORDED_FORMAT = 1
DEFAULT_FORMAT = 1
FORMATS = (1, 2)

# The settings only version 1 has, with the value a version-2 codec records for each.
V1_ONLY = {"method": DEFAULTS["method"], "scale": DEFAULTS["scale"],
           "cutoff": DEFAULTS["cutoff"], "coder": None, "encoder": DEFAULT_ENCODER}


def check_format(format: Any) -> int:
    """``format`` as an int; ``TypeError`` or ``ValueError`` unless 1 or 2."""
    if isinstance(format, bool) or not isinstance(format, numbers.Integral):
        raise TypeError(f"format must be 1 or 2, not {type(format).__name__}")
    if format not in FORMATS:
        raise ValueError(f"format must be 1 or 2, but it was {format!r}")
    return int(format)


# The version-2 targets other than max_error, by name: what each counts and the range C++ takes.
V2_TARGETS = {"psnr": ("a number of dB", PSNR_RANGE),
              "bits_per_sample": ("a number of bits per sample", BITS_PER_SAMPLE_RANGE)}


def check_target(name: str, value: Any) -> float:
    """The version-2 target ``name`` (psnr or bits_per_sample) as a float; ``TypeError`` or
    ``ValueError`` unless a finite number in its range."""
    what, (low, high) = V2_TARGETS[name]
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be {what}, not {type(value).__name__}")
    number = float(value)
    if not (math.isfinite(number) and low <= number <= high):
        raise ValueError(f"{name} must be {what} from {low:g} to {high:g}, but it was {value!r}")
    return number


def check_psnr(psnr: Any) -> float:
    """``psnr`` as a float; ``TypeError`` or ``ValueError`` unless a number of dB in range."""
    return check_target("psnr", psnr)


@dataclass(frozen=True)
class Settings:
    method: Optional[str] = DEFAULTS["method"]
    scale: int = DEFAULTS["scale"]
    cutoff: str = DEFAULTS["cutoff"]
    coder: Optional[str] = None
    max_error: Optional[float] = None
    relative: bool = True
    encoder: str = DEFAULT_ENCODER
    format: int = DEFAULT_FORMAT
    psnr: Optional[float] = None
    bits_per_sample: Optional[float] = None

    def __post_init__(self) -> None:
        object.__setattr__(self, "format", check_format(self.format))
        if not isinstance(self.relative, bool):
            raise TypeError(f"relative must be True or False, not {self.relative!r}")
        if self.max_error is not None:
            object.__setattr__(self, "max_error", check_max_error(self.max_error))
        if self.format == 2:
            self._check_v2()
            return
        for name in V2_TARGETS:
            if getattr(self, name) is not None:
                raise ValueError(f"{name} is a version-2 target: give format=2 with it")
        check_encoder(self.encoder)
        # Same conversions, checks, order and messages as kestova.compress_signal's options;
        # method None (chosen per chunk) is checked below.
        named = {} if self.method is None else {"method": self.method}
        KestovaCompressionOptions(**named, scale=self.scale, cutoff=self.cutoff, coder=self.coder)
        object.__setattr__(self, "scale", operator.index(self.scale))  # plain int for JSON
        # The combinations the chunk layer accepts are its own rule (the HDF5 filter's too).
        _binding.check_settings(self.method, self.coder, self.scale, self.cutoff, self.encoder,
                                self.max_error, self.relative)

    def _check_v2(self) -> None:
        changed = [name for name, value in V1_ONLY.items() if getattr(self, name) != value]
        if changed:
            raise ValueError(f"{', '.join(changed)} {'is a' if len(changed) == 1 else 'are'} "
                             "version-1 setting" + ("" if len(changed) == 1 else "s") +
                             ": format=2 takes max_error (with relative), psnr or "
                             "bits_per_sample")
        targets = [name for name in ("max_error", *V2_TARGETS) if getattr(self, name) is not None]
        if len(targets) > 1:
            raise ValueError(f"give one target: max_error, psnr or bits_per_sample, not "
                             f"{' and '.join(targets)}")
        for name in V2_TARGETS:
            if getattr(self, name) is not None:
                object.__setattr__(self, name, check_target(name, getattr(self, name)))

    def check_dtype(self, dtype: Any) -> None:
        """``ValueError`` when chunks of ``dtype`` cannot be stored with these settings: float
        chunks in version 2 need a target."""
        if self.format == 2 and self.max_error is None and self.psnr is None and \
                self.bits_per_sample is None and np.dtype(dtype).kind == "f":
            raise ValueError(f"format=2 needs max_error or psnr for {np.dtype(dtype)} chunks, or "
                             "bits_per_sample (max_error=0 asks for exact samples)")

    @classmethod
    def from_config(cls, config: dict[str, Any]) -> "Settings":
        """The settings a stored configuration records; one without `encoder` was written by
        the reference encoder, one without `format` is version 1."""
        unrecorded: dict[str, Any] = {"format": UNRECORDED_FORMAT}
        if config.get("format", UNRECORDED_FORMAT) == 1:
            unrecorded["encoder"] = UNRECORDED_ENCODER
        return cls(**{**unrecorded, **config})

    def config(self) -> dict[str, Any]:
        """Every setting of the format by name, as plain JSON values: a version-1
        configuration has no version-2 target, a version-2 one none of the version-1 settings,
        and bits_per_sample only when given (as configurations written before it)."""
        values = dataclasses.asdict(self)
        for name in V2_TARGETS if self.format == 1 else V1_ONLY:
            del values[name]
        if values.get("bits_per_sample", 0) is None:
            del values["bits_per_sample"]
        return values
