// The render-node scan: one record per render node, with the render-node tips.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "run/scene_records.h"
#include "run/tips.h"

namespace scanflow {

struct RopScan {
    Host& host;
    const std::string& platform;
    const std::vector<std::string>& render_node_type;
    Tips& tips;
};

// The node types the analysis treats as render nodes, in the analysis's order (the analysis
// object's starting `render_node_type`).
const std::vector<std::string>& render_node_types();

// One record per render node that a farm job can render, in scene order; raises the GPU, V-Ray
// export, OpenGL and missing-camera tips.
std::vector<RenderNodeRecord> get_rop_node_setting(const RopScan& in);

}  // namespace scanflow
