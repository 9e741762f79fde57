// Renderer settings per render node, with the Arnold denoising switches and the renderers used.
#pragma once

#include <string>
#include <vector>

#include "host/host.h"
#include "run/scene_records.h"

namespace scanflow {

// The settings record, Arnold denoising entries and renderer names of one render node. A failure
// while reading the family's settings is printed and leaves the record partial.
struct NodeRenderSetting {
    RenderSetting record;
    std::vector<std::string> denoise;
    std::vector<std::string> renderers;
};
NodeRenderSetting get_render_setting(Node& obj, const std::string& obj_type_name, Host& host);

// The settings of every render node by node name, and the scene's denoising entries and
// renderer names.
struct RenderSettings {
    RenderSettingsByName settings;
    std::vector<std::string> all_ar_denoise;
    std::vector<std::string> all_renderer_list;
};
RenderSettings analysis_render_setting(Host& host,
                                       const std::vector<std::string>& render_node_type);

}  // namespace scanflow
