"""Module surface: registration, signatures, docstrings and the options class's shape."""

import inspect
import subprocess
import sys
import weakref
from pathlib import Path

import pytest

import kestova


def test_all_lists_the_public_names_in_registration_order():
    assert kestova.__all__ == ["KestovaCompressionOptions", "compress_signal", "decompress_signal"]
    assert kestova.__doc__ == ""


def test_importing_does_not_import_numpy():
    code = "import sys, kestova; print('numpy' in sys.modules)"
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.strip() == "False"


@pytest.mark.parametrize(
    "function, signature, doc",
    [
        (
            kestova.compress_signal,
            "(data, options=None)",
            "Compress a 1-D float32 **or** float64 NumPy array into Kestova `bytes`.\n\n"
            "float64 input is downcast to float32 before compression (the codec works in\n"
            "f32 internally and always reconstructs f32 on decompress).",
        ),
        (
            kestova.decompress_signal,
            "(data)",
            "Decompress a Kestova bytes object into a 1-D float32 NumPy array.",
        ),
    ],
)
def test_functions_have_their_signature_and_docstring(function, signature, doc):
    assert function.__text_signature__ == signature
    assert function.__doc__ == doc
    assert function.__module__ == "kestova"


def test_options_class_signature_and_empty_doc():
    cls = kestova.KestovaCompressionOptions
    assert str(inspect.signature(cls)) == "(method='cdf97', scale=11, cutoff='low', coder=None)"
    assert not cls.__doc__
    assert cls.__name__ == "KestovaCompressionOptions"


def test_options_object_has_no_dict_no_weakref_and_is_immutable():
    options = kestova.KestovaCompressionOptions()
    assert not hasattr(options, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(options)
    with pytest.raises(AttributeError):
        options.scale = 6


def test_options_class_cannot_be_subclassed():
    with pytest.raises(TypeError):
        type("Sub", (kestova.KestovaCompressionOptions,), {})


def test_missing_numpy_is_reported_on_first_use_not_at_import():
    code = """
import sys
sys.modules["numpy"] = None  # makes every numpy import fail
import kestova
try:
    kestova.compress_signal(None, 5)
except TypeError:
    print("options checked first")
for _ in range(2):
    try:
        kestova.compress_signal([1.0])
    except RuntimeError as error:
        print(error, "/", type(error.__cause__).__name__)
"""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True)
    assert out.stdout.splitlines() == [
        "options checked first",
        "Failed to access NumPy array API capsule / ModuleNotFoundError",
        "Failed to access NumPy array API capsule / ModuleNotFoundError",
    ]


def test_numpy_is_loaded_without_deprecation_warnings():
    code = "import kestova, numpy; kestova.compress_signal(numpy.ones(100, numpy.float32))"
    subprocess.run([sys.executable, "-W", "error", "-c", code], check=True)


def test_type_stubs_are_installed_beside_the_module():
    site = Path(kestova.__file__).parent
    if site.name != "site-packages":
        pytest.skip("kestova is not installed from a wheel")
    stub = (site / "kestova.pyi").read_text()
    assert "def compress_signal(" in stub and "class KestovaCompressionOptions" in stub
    assert (site / "kestova-stubs" / "__init__.pyi").read_text() == stub
