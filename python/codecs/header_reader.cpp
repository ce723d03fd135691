#include "python/codecs/header_reader.h"

#include <array>
#include <string>

#include "codec/container_limits.h"
#include "codec/header.h"
#include "codec/method_executor.h"
#include "codec/option_names.h"
#include "python/codecs/held_buffer.h"
#include "python/codecs/tables.h"
#include "python/common/arguments.h"
#include "python/common/errors.h"

namespace kestova::codecs {

namespace {

constexpr std::array<const char*, 1> kParameters{"data"};
constexpr python::Signature kSignature{"read_header", kParameters, 1};

}  // namespace

PyObject* read_header(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return python::guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kParameters.size()> bound{};
        if (!python::bind_fastcall(kSignature, args, nargs, kwnames, bound)) return nullptr;
        HeldBuffer input;
        if (!input.acquire(bound[0])) return nullptr;
        const auto parsed = KestovaHeader::from_bytes(input.bytes());
        if (!parsed) return python::raise_codec_error(parsed.error());
        const KestovaHeader& h = *parsed;
        if (const auto limits = check_container_limits(h); !limits) {
            return python::raise_codec_error(limits.error());
        }
        // The header has refused unknown method tags and coder bytes.
        const std::string method(method_name(*method_from_tag(h.method_tag)));
        const std::string coder(
            name_of(static_cast<EntropyCoder>(h.coder), kCoderNames).value_or("?"));
        const unsigned long long container =
            HEADER_SIZE + static_cast<unsigned long long>(h.payload_length);
        return Py_BuildValue(
            "{s(ii)sssisisssksdsdsdsksK}", "version", int{h.version[0]}, int{h.version[1]},
            "method", method.c_str(), "levels", int{h.levels}, "scale", int{h.scale}, "coder",
            coder.c_str(), "samples", static_cast<unsigned long>(h.sample_count), "minimum",
            double{h.signal_min}, "maximum", double{h.signal_max}, "mean",
            double{h.normalized_mean}, "payload_bytes",
            static_cast<unsigned long>(h.payload_length), "container_bytes", container);
    });
}

}  // namespace kestova::codecs
