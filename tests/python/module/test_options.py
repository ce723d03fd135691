"""KestovaCompressionOptions: binding, conversion, validation order and messages."""

import pytest

from kestova import KestovaCompressionOptions as Options
from kestova import compress_signal

from conftest import make_signal

NEW = "KestovaCompressionOptions.__new__()"
METHOD_ERROR = "Unknown method {}, expected 'cdf97' or 'cdf53' or 'db4' or 'sym4'"
CUTOFF_ERROR = "Unknown cutoff level {}, expected 'low' or 'medium' or 'high'"
CODER_ERROR = "Unknown coder {}, expected 'auto', 'deflate', 'arans'"
SCALE_ERROR = "Only scaled 6..12 is supported, but it was {}"
OVERFLOW = "out of range integral type conversion attempted"


@pytest.mark.parametrize("method", ["cdf97", "cdf53", "db4", "sym4"])
@pytest.mark.parametrize("cutoff", ["low", "medium", "high"])
@pytest.mark.parametrize("coder", [None, "auto", "deflate", "arans"])
@pytest.mark.parametrize("scale", [6, 12])
def test_every_valid_combination_is_accepted(method, scale, cutoff, coder):
    assert isinstance(Options(method, scale, cutoff, coder), Options)
    assert isinstance(Options(method=method, scale=scale, cutoff=cutoff, coder=coder), Options)


def test_defaults_none_and_auto_compress_identically():
    x = make_signal(1000)
    expected = compress_signal(x, Options())
    for options in (Options("cdf97", 11, "low", None), Options(coder="auto")):
        assert compress_signal(x, options) == expected


def test_each_setting_changes_the_stream():
    x = make_signal(1000)
    streams = {
        compress_signal(x, Options(**kwargs))
        for kwargs in ({}, {"method": "db4"}, {"scale": 8}, {"cutoff": "high"}, {"coder": "deflate"})
    }
    assert len(streams) == 5


@pytest.mark.parametrize(
    "args, kwargs, error, message",
    [
        # binding
        ((1, 2, 3, 4, 5), {}, TypeError, f"{NEW} takes from 0 to 4 positional arguments but 5 were given"),
        ((), {"level": 1}, TypeError, f"{NEW} got an unexpected keyword argument 'level'"),
        (("cdf97",), {"method": "db4"}, TypeError, f"{NEW} got multiple values for argument 'method'"),
        # conversion
        ((), {"method": 1}, TypeError, "argument 'method': 'int' object is not an instance of 'str'"),
        ((), {"cutoff": b"low"}, TypeError, "argument 'cutoff': 'bytes' object is not an instance of 'str'"),
        ((), {"coder": 5}, TypeError, "argument 'coder': 'int' object is not an instance of 'str'"),
        ((), {"scale": 11.0}, TypeError, "argument 'scale': 'float' object cannot be interpreted as an integer"),
        ((), {"scale": "11"}, TypeError, "argument 'scale': 'str' object cannot be interpreted as an integer"),
        ((), {"scale": 256}, OverflowError, OVERFLOW),
        ((), {"scale": -1}, OverflowError, OVERFLOW),
        ((), {"scale": 2**70}, OverflowError, OVERFLOW),
        # validation
        ((), {"method": "Cdf97"}, ValueError, METHOD_ERROR.format('"Cdf97"')),
        ((), {"method": " cdf97"}, ValueError, METHOD_ERROR.format('" cdf97"')),
        ((), {"method": "cdf97\0"}, ValueError, METHOD_ERROR.format('"cdf97\\0"')),
        ((), {"cutoff": "LOW"}, ValueError, CUTOFF_ERROR.format('"LOW"')),
        ((), {"scale": 5}, ValueError, SCALE_ERROR.format(5)),
        ((), {"scale": 13}, ValueError, SCALE_ERROR.format(13)),
        ((), {"scale": 0}, ValueError, SCALE_ERROR.format(0)),
        ((), {"coder": "zlib"}, ValueError, CODER_ERROR.format('"zlib"')),
        ((), {"coder": ""}, ValueError, CODER_ERROR.format('""')),
    ],
)
def test_rejected_arguments(args, kwargs, error, message):
    with pytest.raises(error) as info:
        Options(*args, **kwargs)
    assert type(info.value) is error
    assert str(info.value) == message


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        # conversion errors come before any validation
        ({"method": "x", "coder": 5}, TypeError, "argument 'coder': 'int' object is not an instance of 'str'"),
        ({"method": "x", "scale": 300}, OverflowError, OVERFLOW),
        # then method, cutoff, scale, coder
        ({"method": "x", "cutoff": "x", "scale": 99, "coder": "x"}, ValueError, METHOD_ERROR.format('"x"')),
        ({"cutoff": "x", "scale": 99, "coder": "x"}, ValueError, CUTOFF_ERROR.format('"x"')),
        ({"cutoff": "medium", "scale": 99, "coder": "x"}, ValueError, SCALE_ERROR.format(99)),
        ({"scale": 12, "coder": "x"}, ValueError, CODER_ERROR.format('"x"')),
    ],
)
def test_checks_run_in_order(kwargs, error, message):
    with pytest.raises(error) as info:
        Options(**kwargs)
    assert type(info.value) is error
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text, shown",
    [
        ('say "hi"', r'"say \"hi\""'),
        ("back\\slash", r'"back\\slash"'),
        ("\t\r\n\0", r'"\t\r\n\0"'),
        ("\x01\x7f", r'"\u{1}\u{7f}"'),
        ("\u200b\u2028\ue000", r'"\u{200b}\u{2028}\u{e000}"'),
        ("\ud800", r'"\u{d800}"'),
        ("\u00e9t\u00e9 \u6ce2 'q'", "\"\u00e9t\u00e9 \u6ce2 'q'\""),
    ],
)
def test_unknown_strings_are_quoted_for_display(text, shown):
    with pytest.raises(ValueError) as info:
        Options(method=text)
    assert str(info.value) == METHOD_ERROR.format(shown)


def test_str_subclass_and_index_objects_are_converted():
    class Name(str):
        pass

    class Scale:
        def __index__(self):
            return 9

    x = make_signal(500)
    assert compress_signal(x, Options(Name("db4"), Scale())) == compress_signal(x, Options("db4", 9))


def test_bool_scale_is_an_integer():
    with pytest.raises(ValueError, match="but it was 1$"):
        Options(scale=True)
