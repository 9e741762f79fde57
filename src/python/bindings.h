// The bindings of the module, one function per area; the system's classes are made by
// bind_drivers and handed to the areas that add their operations.
#pragma once

#include <pybind11/pybind11.h>

#include "drivers/analys_usd.h"
#include "drivers/related.h"
#include "drivers/scene_driver.h"
#include "drivers/usd_driver.h"

namespace scanflow::py_bridge {

using RelatedClass = pybind11::class_<Related>;
using AnalysUsdClass = pybind11::class_<AnalysUsd, Related>;
using SceneDriverClass = pybind11::class_<AnalysisHipAssets, AnalysUsd>;
using UsdDriverClass = pybind11::class_<AnalysUsdAsset, AnalysUsd>;

void register_errors(pybind11::module_& m);
// The module's collections as attributes, the console helpers and the timing wrapper.
void bind_base(pybind11::module_& m);
void bind_util(pybind11::module_& m);
void bind_scan(pybind11::module_& m);
void bind_tasks(pybind11::module_& m);
void bind_output(pybind11::module_& m, SceneDriverClass& hip);
void bind_render(SceneDriverClass& hip);
void bind_nested(RelatedClass& related, AnalysUsdClass& usd, SceneDriverClass& hip);
void bind_usd(AnalysUsdClass& usd, UsdDriverClass& usd_asset);
void bind_upload(RelatedClass& related);
void bind_drivers(pybind11::module_& m);

}  // namespace scanflow::py_bridge
