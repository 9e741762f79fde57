// Renderer settings per render node, with the Arnold denoising switches and the renderers used.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "host/host.h"
#include "util/json.h"

namespace scanflow {

// (settings record, Arnold denoising entries, renderer names) of one render node. A failure
// while reading the family's settings is printed and leaves the record partial.
std::tuple<Json, Json, Json> get_render_setting(Node& obj, const std::string& obj_type_name,
                                                Host& host);

// The settings of every render node by node name, and the scene's denoising entries and
// renderer names.
struct RenderSettings {
    Json settings = Json::object();
    Json all_ar_denoise = Json::array();
    Json all_renderer_list = Json::array();
};
RenderSettings analysis_render_setting(Host& host,
                                       const std::vector<std::string>& render_node_type);

}  // namespace scanflow
