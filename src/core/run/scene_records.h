// What the analysis records of the scene's render, output and simulation nodes (the scene
// information of the task file), of their renderer settings and of their cameras.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/value.h"

namespace scanflow {

// What a V-Ray render node says of its output.
struct VrayOutput {
    std::string img_save;
    Value render_mode;        // as the host gives it: a number, or a text
    std::string export_mode;  // the menu label
    std::string output_path;  // unexpanded, "/" separators
};

// A render node a farm job renders.
struct RenderNodeRecord {
    std::string node;
    std::string frames;
    std::optional<VrayOutput> vray;
    std::string camera;
    std::string width;
    std::string height;
    std::string option = "-1";
    std::string render = "1";  // "0" when the node is bypassed
    // The USD-file flow's one record, for the stage's time range: no camera members, and
    // "render" written before "option".
    bool of_stage = false;
};

// A node that writes geometry (a cache, Alembic, USD, a proxy), run before the renders.
struct OutputNodeRecord {
    std::string node;
    std::optional<std::string> frames;
    // A pre/post node: it never takes the frames of the node recorded before it.
    bool own_frames_only = false;
    std::string option = "0";
    std::string render = "0";
};

// A distributed simulation. The slice members present depend on the slice type.
struct SimulationRecord {
    std::string node;
    std::string output_driver;
    std::string output_file;
    std::string slice_type;
    std::optional<std::vector<Value>> slice_divisions;  // volume slices
    std::optional<std::string> num_slices;
    std::optional<std::string> sim_control_name;
    std::optional<std::string> cluster_filter;
    std::string frames;
    std::string option = "1";
    std::string render = "0";
};

// The scene information: the three record lists in scene order.
struct SceneInfo {
    std::vector<OutputNodeRecord> geo_node;
    std::vector<RenderNodeRecord> rop_node;
    std::vector<SimulationRecord> distributedsim_node;
    // The USD-file flow writes its render record before the other lists.
    bool render_nodes_first = false;
};

// The task dictionary of a run: the scene information once it is read, and whatever members a
// host script set beside it, each kept as the JSON text of its value.
struct TaskRecord {
    std::optional<SceneInfo> scene_info;
    std::vector<std::pair<std::string, std::string>> script_members;
};

using NamedValues = std::vector<std::pair<std::string, Value>>;

// The settings of one render node. A member is absent when its family does not have it or when
// reading stopped before it (a failed reading keeps what was read).
struct RenderSetting {
    std::optional<std::string> start, end, lnc;
    std::optional<std::string> camera;
    std::optional<std::string> img_save;
    std::optional<std::string> render_mode;  // the V-Ray menu label
    std::optional<std::string> output_path;
    std::optional<Value> motion_blur;  // Redshift's switch
    std::optional<NamedValues> samples;
    std::optional<NamedValues> motion_blur_keys;  // Arnold's, by enabled kind
};

// Render settings by node name, in the order the names were first met; a name met again takes
// the later node's settings.
class RenderSettingsByName {
public:
    void set(const std::string& name, RenderSetting setting);
    const std::vector<std::pair<std::string, RenderSetting>>& entries() const { return entries_; }

private:
    std::vector<std::pair<std::string, RenderSetting>> entries_;
    std::unordered_map<std::string, size_t> index_;
};

// One node of an Alembic camera chain: the file it reads, whether that is the archive's file,
// whether the file exists.
struct AlembicLink {
    std::string node;
    std::string file;
    bool same_file = false;
    bool exists = false;
};

// An Alembic camera chain: "normal", "diff" (its nodes read different files), "miss" (the
// archive's file is missing) or "notfit" (no chain of three nodes, no links).
struct AlembicChain {
    std::string status;
    std::vector<AlembicLink> links;
};

// A render node's camera: an Alembic chain when it has one, otherwise the camera path and
// whether the scene has it.
struct CameraFinding {
    std::string camera;
    bool exists = false;
    std::vector<AlembicLink> chain;

    // The chain's first node, or the camera.
    const std::string& first_name() const { return chain.empty() ? camera : chain.front().node; }
};

// The cameras of the render nodes, sorted.
struct CameraCheck {
    std::vector<CameraFinding> normal, diff, miss;
};

}  // namespace scanflow
