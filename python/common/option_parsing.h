// The four compression settings as Python passes them: conversion, validation and messages.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>

#include "codec/options.h"

namespace kestova::python {

// Converts and validates method, scale, cutoff and coder (each borrowed, nullptr when absent;
// coder may be None) into a record, in the documented order; nothing with the exception set.
std::optional<CompressionOptions> parse_options(PyObject* method, PyObject* scale, PyObject* cutoff,
                                                PyObject* coder);

}  // namespace kestova::python
