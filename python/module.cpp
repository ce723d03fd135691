// The importable module: multi-phase initialisation whose execution step registers the class
// and the two functions. NumPy is not touched here; it is loaded by the first call needing it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "python/common/errors.h"
#include "python/common/multi_phase_module.h"
#include "python/options.h"
#include "python/common/py_ref.h"
#include "python/signal.h"

namespace kestova::python {

namespace {

// Sets `object` as a module attribute under its own __name__ and appends that name to
// __all__, which is created empty first if the module has none.
bool add_public(PyObject* module, PyObject* object) {
    const PyRef name(PyObject_GetAttrString(object, "__name__"));
    if (!name || PyObject_SetAttr(module, name.get(), object) < 0) return false;
    PyObject* dict = PyModule_GetDict(module);
    PyObject* all = PyDict_GetItemString(dict, "__all__");
    if (all == nullptr) {
        const PyRef created(PyList_New(0));
        if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return false;
        all = created.get();  // the module dict now holds it
    }
    const PyRef appended(PyObject_CallMethod(all, "append", "O", name.get()));
    return appended != nullptr;
}

// Adds a module-level function whose __module__ is the module's name.
bool add_function(PyObject* module, PyMethodDef* definition) {
    const PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return false;
    const PyRef function(PyCFunction_NewEx(definition, module, module_name.get()));
    return function && add_public(module, function.get());
}

int exec_module(PyObject* module) {
    return guarded<int>(-1, [&] {
        if (!PyModule_Check(module)) {
            PyErr_SetString(PyExc_TypeError, "kestova must be initialised with a module object");
            return -1;
        }
        PyTypeObject* options = options_type();
        if (options == nullptr) return -1;
        const bool added = add_public(module, reinterpret_cast<PyObject*>(options)) &&
                           add_function(module, compress_signal_def()) &&
                           add_function(module, decompress_signal_def());
        return added ? 0 : -1;
    });
}

MultiPhaseModule module_definition("kestova", "", nullptr, exec_module);

}  // namespace

}  // namespace kestova::python

PyMODINIT_FUNC PyInit_kestova() {
    return kestova::python::module_definition.init();
}
