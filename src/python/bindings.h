#pragma once

#include <pybind11/pybind11.h>

#include "drivers/related.h"

namespace scanflow::py_bridge {
void register_errors(pybind11::module_& m);
void bind_entry(pybind11::module_& m);
void bind_drivers(pybind11::module_& m);
void bind_util(pybind11::module_& m);
void bind_upload(pybind11::class_<Related>& related);
}  // namespace scanflow::py_bridge

using scanflow::py_bridge::bind_drivers;
using scanflow::py_bridge::bind_entry;
using scanflow::py_bridge::bind_util;
using scanflow::py_bridge::register_errors;
