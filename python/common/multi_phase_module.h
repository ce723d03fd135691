// The definition of an extension module with multi-phase initialisation: one execution step,
// and no need of the interpreter lock where the interpreter can run without one.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace kestova::python {

class MultiPhaseModule {
  public:
    // A module named `name` with docstring `doc`, the functions `methods` (nullptr for none) and
    // the execution step `exec`; the object must outlive the interpreter, so make it static.
    MultiPhaseModule(const char* name, const char* doc, PyMethodDef* methods,
                     int (*exec)(PyObject*))
        : slots_{{Py_mod_exec, reinterpret_cast<void*>(exec)},
#ifdef Py_mod_gil
                 {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
                 {0, nullptr}},
          definition_{
              .m_base = PyModuleDef_HEAD_INIT,
              .m_name = name,
              .m_doc = doc,
              .m_size = 0,
              .m_methods = methods,
              .m_slots = slots_,
              .m_traverse = nullptr,
              .m_clear = nullptr,
              .m_free = nullptr,
          } {
    }
    MultiPhaseModule(const MultiPhaseModule&) = delete;
    MultiPhaseModule& operator=(const MultiPhaseModule&) = delete;

    // What the module's PyInit function returns.
    PyObject* init() { return PyModuleDef_Init(&definition_); }

  private:
#ifdef Py_mod_gil
    PyModuleDef_Slot slots_[3];
#else
    PyModuleDef_Slot slots_[2];
#endif
    PyModuleDef definition_;
};

}  // namespace kestova::python
