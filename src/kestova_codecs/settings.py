"""What both codecs are configured with: Kestova's four compression options, checked by the
kestova module's own options class, the optional error bound, and the encoder."""

from __future__ import annotations

import dataclasses
import operator
from dataclasses import dataclass
from typing import Any, Optional

from kestova import KestovaCompressionOptions

from kestova_codecs import _binding
from kestova_codecs.error_bound import check_encoder, check_max_error
from kestova_codecs.tables import DEFAULT_ENCODER, DEFAULTS

# The encoder of every store written before stores recorded one: a configuration without
# `encoder` means it, so appending to such an array keeps its encoder.
UNRECORDED_ENCODER = "reference"


@dataclass(frozen=True)
class Settings:
    method: Optional[str] = DEFAULTS["method"]
    scale: int = DEFAULTS["scale"]
    cutoff: str = DEFAULTS["cutoff"]
    coder: Optional[str] = None
    max_error: Optional[float] = None
    relative: bool = True
    encoder: str = DEFAULT_ENCODER

    def __post_init__(self) -> None:
        check_encoder(self.encoder)
        # Same conversions, checks, order and messages as kestova.compress_signal's options;
        # method None (chosen per chunk) is checked below.
        named = {} if self.method is None else {"method": self.method}
        KestovaCompressionOptions(**named, scale=self.scale, cutoff=self.cutoff, coder=self.coder)
        object.__setattr__(self, "scale", operator.index(self.scale))  # plain int for JSON
        if not isinstance(self.relative, bool):
            raise TypeError(f"relative must be True or False, not {self.relative!r}")
        if self.max_error is not None:
            object.__setattr__(self, "max_error", check_max_error(self.max_error))
        # The combinations the chunk layer accepts are its own rule (the HDF5 filter's too).
        _binding.check_settings(self.method, self.coder, self.scale, self.cutoff, self.encoder,
                                self.max_error, self.relative)

    @classmethod
    def from_config(cls, config: dict[str, Any]) -> "Settings":
        """The settings a stored configuration records; one without `encoder` was written by
        the reference encoder."""
        return cls(**{"encoder": UNRECORDED_ENCODER, **config})

    def config(self) -> dict[str, Any]:
        """Every setting by name, as plain JSON values."""
        return dataclasses.asdict(self)
