#include "python/numpy_api.h"

#include <atomic>
#include <mutex>

#include "python/common/py_ref.h"
#include "python/numpy_include.h"

// The table pointer and runtime feature version that NumPy's macros read; set once below.
void** PyArray_API = nullptr;
int PyArray_RUNTIME_VERSION = 0;

namespace kestova::python {

namespace {

// Slots of NumPy's table that have kept their place since NumPy 1.0: the ABI version and the
// C-API feature version of the running NumPy.
constexpr int kAbiVersionSlot = 0;
constexpr int kFeatureVersionSlot = 211;

std::atomic<bool> api_ready{false};
std::mutex api_publish;

// Imports the first multiarray module that exists: NumPy 2 moved it to numpy._core, and
// touching numpy.core there would print a deprecation warning.
PyRef import_multiarray() {
    PyObject* module = PyImport_ImportModule("numpy._core.multiarray");
    if (module == nullptr && PyErr_ExceptionMatches(PyExc_ImportError)) {
        PyErr_Clear();
        module = PyImport_ImportModule("numpy.core.multiarray");
    }
    return PyRef(module);
}

// The API table from the `_ARRAY_API` capsule, or nullptr with an exception set.
void** fetch_api_table() {
    const PyRef module = import_multiarray();
    if (!module) return nullptr;
    const PyRef capsule(PyObject_GetAttrString(module.get(), "_ARRAY_API"));
    if (!capsule) return nullptr;
    if (!PyCapsule_CheckExact(capsule.get())) {
        PyErr_SetString(PyExc_TypeError, "_ARRAY_API is not a capsule");
        return nullptr;
    }
    return static_cast<void**>(PyCapsule_GetPointer(capsule.get(), nullptr));
}

// Replaces the pending exception (if any) by the load failure, keeping it as the cause.
void raise_load_failure() {
    PyObject* cause = nullptr;
    if (PyErr_Occurred()) {
        PyObject *type, *traceback;
        PyErr_Fetch(&type, &cause, &traceback);
        PyErr_NormalizeException(&type, &cause, &traceback);
        if (cause != nullptr && traceback != nullptr) PyException_SetTraceback(cause, traceback);
        Py_XDECREF(type);
        Py_XDECREF(traceback);
    }
    PyErr_SetString(PyExc_RuntimeError, "Failed to access NumPy array API capsule");
    if (cause == nullptr) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyException_SetCause(value, cause);  // steals `cause`
    PyErr_Restore(type, value, traceback);
}

}  // namespace

bool ensure_numpy_api() {
    if (api_ready.load(std::memory_order_acquire)) return true;

    // The import runs without a lock of ours: it may switch threads, and another thread
    // blocking on our lock while attached to the interpreter could then deadlock. Racing
    // threads fetch the same table; the first one publishes it.
    void** table = fetch_api_table();
    if (table == nullptr) {
        raise_load_failure();
        return false;
    }
    const auto abi_version = reinterpret_cast<unsigned int (*)()>(table[kAbiVersionSlot])();
    const auto feature_version = reinterpret_cast<unsigned int (*)()>(table[kFeatureVersionSlot])();
    if (abi_version > NPY_ABI_VERSION || feature_version < NPY_FEATURE_VERSION) {
        PyErr_Format(PyExc_ImportError,
                     "NumPy C-API ABI 0x%x, feature version 0x%x; this module needs ABI at most "
                     "0x%x and feature version at least 0x%x",
                     abi_version, feature_version, NPY_ABI_VERSION, NPY_FEATURE_VERSION);
        raise_load_failure();
        return false;
    }

    const std::lock_guard lock(api_publish);
    if (!api_ready.load(std::memory_order_relaxed)) {
        PyArray_API = table;
        PyArray_RUNTIME_VERSION = static_cast<int>(feature_version);
        api_ready.store(true, std::memory_order_release);
    }
    return true;
}

}  // namespace kestova::python
