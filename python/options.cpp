#include "python/options.h"

#include <array>

#include "python/common/arguments.h"
#include "python/common/errors.h"
#include "python/common/option_parsing.h"

namespace kestova::python {

namespace {

struct OptionsObject {
    PyObject_HEAD CompressionOptions options;
};

constexpr std::array<const char*, 4> kParameters{"method", "scale", "cutoff", "coder"};
constexpr Signature kSignature{"KestovaCompressionOptions.__new__", kParameters, 0};

// KestovaCompressionOptions.__new__: binds, converts, validates, then allocates.
PyObject* options_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::array<PyObject*, kParameters.size()> bound{};
        if (!bind_tuple(kSignature, args, kwargs, bound)) return nullptr;
        const auto options = parse_options(bound[0], bound[1], bound[2], bound[3]);
        if (!options) return nullptr;
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr) return nullptr;
        reinterpret_cast<OptionsObject*>(self)->options = *options;
        return self;
    });
}

void options_dealloc(PyObject* self) {
    Py_TYPE(self)->tp_free(self);
}

// A type object has dozens of optional slots; the designated initialiser names only those used.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PyTypeObject options_type_object = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0).tp_name = "KestovaCompressionOptions",
    .tp_basicsize = sizeof(OptionsObject),
    .tp_dealloc = options_dealloc,
    .tp_flags = Py_TPFLAGS_DEFAULT,
    .tp_doc =
        "KestovaCompressionOptions(method=\"cdf97\", scale=11, cutoff=\"low\", "
        "coder=None)\n--\n\n",
    .tp_new = options_new,
};
#pragma GCC diagnostic pop

}  // namespace

PyTypeObject* options_type() {
    // PyType_Ready is idempotent, and a re-import finds the class already ready.
    if (PyType_Ready(&options_type_object) < 0) return nullptr;
    return &options_type_object;
}

std::optional<CompressionOptions> read_options(PyObject* object) {
    if (!PyObject_TypeCheck(object, &options_type_object)) return std::nullopt;
    return reinterpret_cast<OptionsObject*>(object)->options;
}

}  // namespace kestova::python
