// Geometry caches read for the files they name: ".bgeo" file lists, followed through the caches
// and scene files they name, and ".bgeo.sc" geometry inspected point by point.
#pragma once

#include <string>
#include <vector>

#include "nested/nested_inputs.h"

namespace scanflow {

// The names of the cache's "filenames" lists, caches named there first (depth first), then each
// name with what it leads to. Each cache is read once per run (`all_bgeo`).
std::vector<std::string> get_bgeo_asset(const std::string& bgeo_path, const NestedInputs& in);

// The file paths held by the points' attributes (only when the scene has instance nodes), and
// the clip and rig files of the primitives. Each cache is read once per run (`all_bgeosc`).
std::vector<std::string> get_begosc_instance(const std::string& bgeosc_path,
                                             const NestedInputs& in);

// Has the pool read a geometry cache's file lists ahead of the analysis.
void read_geometry_ahead(const std::string& path, const NestedInputs& in);

}  // namespace scanflow
