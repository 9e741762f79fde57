#pragma once

#include <pybind11/pybind11.h>

#include "drivers/analysis.h"

namespace scanflow::py_bridge {
void register_errors(pybind11::module_& m);
void bind_entry(pybind11::module_& m);
void bind_drivers(pybind11::module_& m);
void bind_util(pybind11::module_& m);
void bind_scan(pybind11::module_& m);
void bind_assembly(pybind11::class_<AnalysisHipAssets, AnalysUsd>& hip);
void bind_nested(pybind11::module_& m, pybind11::class_<Related>& related,
                 pybind11::class_<AnalysUsd, Related>& usd,
                 pybind11::class_<AnalysisHipAssets, AnalysUsd>& hip);
void bind_upload(pybind11::class_<Related>& related);
}  // namespace scanflow::py_bridge

using scanflow::py_bridge::bind_drivers;
using scanflow::py_bridge::bind_entry;
using scanflow::py_bridge::bind_scan;
using scanflow::py_bridge::bind_util;
using scanflow::py_bridge::register_errors;
