// The written form of the node records: as the task file holds them, as a host script is handed
// them, and as the console prints them; and the records read back from a host script's values.
#pragma once

#include <string>
#include <vector>

#include "run/scene_records.h"
#include "util/json.h"

namespace scanflow {

Json render_nodes_json(const std::vector<RenderNodeRecord>& records);
// Written as copies of one working record, `shared`, that each node's members are set in: a
// member set for one node and not for the next stays, in the place it was first set.
Json output_nodes_json(const std::vector<OutputNodeRecord>& records, Json shared = Json::object());
Json simulations_json(const std::vector<SimulationRecord>& records);
// {"geo_node": [...], "rop_node": [...], "distributedsim_node": [...]}, the render records first
// when the scene information says so.
Json scene_info_json(const SceneInfo& info);
Json task_record_json(const TaskRecord& task);

Json render_settings_json(const RenderSettingsByName& settings);
Json render_setting_json(const RenderSetting& setting);

// node path → [file, 1 when it is the archive's file, "exist" | "notexist"]
Json alembic_links_json(const std::vector<AlembicLink>& links);
// "normal", "diff" and "miss", each only when it has a camera.
Json camera_check_json(const CameraCheck& check);

// Records a host script gives: the members the analysis knows are read, each by its text; a
// member it lacks stays empty.
std::vector<RenderNodeRecord> render_nodes_from_json(const Json& records);
SceneInfo scene_info_from_json(const Json& info);
// The "scene_info" member when it is an object; every other member kept as the script set it.
TaskRecord task_record_from_json(const Json& task);

}  // namespace scanflow
