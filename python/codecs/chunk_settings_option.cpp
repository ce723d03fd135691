#include "python/codecs/chunk_settings_option.h"

#include "python/codecs/encoder_option.h"
#include "python/common/option_parsing.h"

namespace kestova::codecs {

std::optional<ChunkSettings> parse_chunk_settings(PyObject* method, PyObject* scale,
                                                  PyObject* cutoff, PyObject* coder,
                                                  PyObject* encoder, PyObject* max_error,
                                                  bool relative) {
    ChunkSettings settings;
    settings.choose_method = method == Py_None;
    const auto given = [](PyObject* value) { return value == Py_None ? nullptr : value; };
    const auto options = python::parse_options(settings.choose_method ? nullptr : method,
                                               given(scale), given(cutoff), coder);
    if (!options) return std::nullopt;
    settings.options = *options;
    const auto parsed_encoder = parse_encoder(encoder);
    if (!parsed_encoder) return std::nullopt;
    settings.encoder = *parsed_encoder;
    if (max_error != Py_None) {
        settings.max_error = PyFloat_AsDouble(max_error);
        if (settings.max_error == -1.0 && PyErr_Occurred()) return std::nullopt;
        settings.bound = relative ? BoundKind::Relative : BoundKind::Absolute;
    }
    return settings;
}

}  // namespace kestova::codecs
