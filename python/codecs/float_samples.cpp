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
    PyErr_Format(PyExc_ValueError,
                 "refusing to compress %zu non-finite value(s) (NaN or infinity), the first at "
                 "index %zu: Kestova would store them as finite numbers",
                 non_finite.count, non_finite.first);
}

void raise_fault(std::exception_ptr fault) {
    python::raise_internal_fault(fault);
}

}  // namespace kestova::codecs
