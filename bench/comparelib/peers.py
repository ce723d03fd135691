"""Imports of the compressors under test; a missing or broken one is reported, never fatal."""

import importlib
from importlib import metadata


# {name: module} for every importable module of `names`, and {name: reason} for the others.
def load(names: list[str]) -> tuple[dict, dict]:
    found, missing = {}, {}
    for name in names:
        try:
            found[name] = importlib.import_module(name)
        except Exception as e:  # a peer that fails at import (not only ImportError) is skipped
            missing[name] = f"{type(e).__name__}: {e}"
    return found, missing


# Installed version of a distribution, or "?" when its metadata is absent.
def version(distribution: str) -> str:
    try:
        return metadata.version(distribution)
    except metadata.PackageNotFoundError:
        return "?"
