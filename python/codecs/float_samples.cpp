#include "python/codecs/float_samples.h"

#include "python/common/errors.h"

namespace kestova::codecs {

std::optional<std::span<const float>> as_samples(std::span<const uint8_t> bytes) {
    const auto address = reinterpret_cast<std::uintptr_t>(bytes.data());
    if (bytes.size() % sizeof(float) != 0 || address % alignof(float) != 0) {
        PyErr_SetString(PyExc_ValueError,
                        "expected float32 samples: an aligned buffer of whole 4-byte values");
        return std::nullopt;
    }
    return std::span<const float>(reinterpret_cast<const float*>(bytes.data()),
                                  bytes.size() / sizeof(float));
}

void raise_non_finite(const NonFinite& non_finite) {
    PyErr_SetString(PyExc_ValueError, non_finite_refusal(non_finite).c_str());
}

void raise_fault(std::exception_ptr fault) {
    python::raise_internal_fault(fault);
}

}  // namespace kestova::codecs
