#include "render/geometry_outputs.h"

#include <cmath>
#include <optional>
#include <set>

#include "base/console.h"
#include "base/text.h"
#include "base/timed.h"
#include "render/node_facts.h"

namespace scanflow {

const std::set<std::string>& geometry_output_types() {
    static const std::set<std::string> types{"rop_geometry",
                                             "geometry",
                                             "dop",
                                             "rop_alembic",
                                             "usd_rop",
                                             "alembic",
                                             "rop_fbx",
                                             "rop_dop",
                                             "rop_vrayproxy",
                                             "usdexport",
                                             "Redshift_Proxy_Output"};
    return types;
}

const std::set<std::string>& cache_parent_types() {
    static const std::set<std::string> types{
        "filecache",    "dopio", "filecache::2.0", "labs::filecache::1.0", "labs::filecache::2.0",
        "vellumio::2.0"};
    return types;
}

namespace {

std::string frames_with_trange(Node& node, Host& host) {
    ParmPtr trange = node.parm("trange");
    if (trange && trange->eval().as_float() == 0) {
        std::string f = std::to_string(static_cast<long long>(std::trunc(host.frame())));
        return f + "-" + f + "[1]";
    }
    return frames_text(node, host);
}

bool is_output_type(const std::string& type) {
    return geometry_output_types().count(type) > 0;
}

// A node inside a locked asset counts only when the asset is a file cache.
bool considered(Node& node) {
    if (!node.isInsideLockedHDA()) return true;
    NodePtr parent = node.parent();
    return cache_parent_types().count(parent ? parent->type_name() : "") > 0;
}

// The frames of a geometry-output node: nullopt when it is not one; an empty optional inside
// when it is one without frames of its own.
std::optional<std::optional<std::string>> output_frames(Node& node, const std::string& type,
                                                        Host& host) {
    if (is_output_type(type)) {
        if (node.parm("execute")) return std::optional<std::string>(frames_with_trange(node, host));
    } else if (type == "arnold" && is_on(node.evalParm("ar_ass_export_enable"))) {
        if (node.parm("execute")) return std::optional<std::string>(frames_text(node, host));
    } else if (type == "Redshift_ROP" && is_on(node.evalParm("RS_archive_enable"))) {
        if (node.parm("execute")) return std::optional<std::string>(frames_text(node, host));
    } else if (type == "labs::vertex_animation_textures::3.0") {
        if (node.parm("renderall")) {
            std::string frames = frames_text(node, host);
            return std::optional<std::string>(frames.substr(0, frames.find('[')) + "[1]");
        }
    } else if (type == "prepost" && node.parm("execute")) {
        // A pre/post node carries its own frames when it has them, otherwise none.
        if (node.parm("f1") || node.parm("f2"))
            return std::optional<std::string>(frames_text(node, host));
        return std::optional<std::string>();
    }
    return std::nullopt;
}

}  // namespace

std::vector<OutputNodeRecord> get_geo_node_setting(Host& host) {
    return timed(2, "get_geo_node_setting", [&] {
        std::vector<OutputNodeRecord> records;
        NodePtr root = host.node("/");
        if (!root) return records;
        root->for_each_below([&](Node& node) {
            if (!considered(node)) return;
            std::string type = node.type_name();
            auto frames = output_frames(node, type, host);
            if (!frames) return;
            std::string path = slashes_forward(node.path());
            console::print_times("Geometry ROP: " + path);
            OutputNodeRecord record;
            record.node = path;
            record.frames = *frames;
            record.own_frames_only = type == "prepost";
            records.push_back(std::move(record));
        });
        return records;
    });
}

}  // namespace scanflow
