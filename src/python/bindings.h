#pragma once

#include <pybind11/pybind11.h>

namespace scanflow::py_bridge {
void register_errors(pybind11::module_& m);
void bind_entry(pybind11::module_& m);
void bind_drivers(pybind11::module_& m);
}  // namespace scanflow::py_bridge

using scanflow::py_bridge::bind_drivers;
using scanflow::py_bridge::bind_entry;
using scanflow::py_bridge::register_errors;
