// The camera check: each render node's camera, sorted into good, inconsistent and missing.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "run/scene_records.h"

namespace scanflow {

// The Alembic chain of a camera path: its archive, transform and camera nodes with the files
// they read.
AlembicChain abc_find(const std::string& path, Host& host);

// The cameras of the render nodes at `render_nodes`.
CameraCheck CheckCamera(const std::vector<std::string>& render_nodes, Host& host);

}  // namespace scanflow
