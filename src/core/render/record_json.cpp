#include "render/record_json.h"

#include "host/value_json.h"

namespace scanflow {

namespace {

template <typename Record, typename Write>
Json list_json(const std::vector<Record>& records, Write write) {
    Json out = Json::array();
    for (const auto& record : records) out.push_back(write(record));
    return out;
}

Json render_node_json(const RenderNodeRecord& r) {
    Json j = Json::object();
    j["node"] = r.node;
    j["frames"] = r.frames;
    if (r.of_stage) {
        j["render"] = r.render;
        j["option"] = r.option;
        return j;
    }
    if (r.vray) {
        j["img_save"] = r.vray->img_save;
        j["render_render_mode"] = value_json(r.vray->render_mode);
        j["render_export_mode"] = r.vray->export_mode;
        j["output_path"] = r.vray->output_path;
    }
    j["camera"] = r.camera;
    j["width"] = r.width;
    j["height"] = r.height;
    j["option"] = r.option;
    j["render"] = r.render;
    return j;
}

void set_if(Json& j, const char* key, const std::optional<std::string>& value) {
    if (value) j[key] = *value;
}

// The slice members in the order the slice type reads them.
void slice_members(const SimulationRecord& r, Json& j) {
    if (r.slice_type == "cluster") {
        set_if(j, "simControlName", r.sim_control_name);
        set_if(j, "num_slices", r.num_slices);
        set_if(j, "cluster_filter", r.cluster_filter);
        return;
    }
    if (r.slice_divisions) j["slicediv"] = value_json(Value::list(*r.slice_divisions));
    set_if(j, "num_slices", r.num_slices);
    set_if(j, "simControlName", r.sim_control_name);
}

Json simulation_json(const SimulationRecord& r) {
    Json j = Json::object();
    j["node"] = r.node;
    j["output_driver"] = r.output_driver;
    j["output_file"] = r.output_file;
    j["sliceType"] = r.slice_type;
    slice_members(r, j);
    j["frames"] = r.frames;
    j["option"] = r.option;
    j["render"] = r.render;
    return j;
}

Json named_values_json(const NamedValues& values) {
    Json j = Json::object();
    for (const auto& [name, value] : values) j[name] = value_json(value);
    return j;
}

// A member a host script set: its text, or empty when it has none.
std::string text_member(const Json& record, const char* key) {
    if (!record.is_object()) return "";
    auto it = record.find(key);
    return it == record.end() ? "" : value_text(*it);
}

std::optional<std::string> optional_member(const Json& record, const char* key) {
    if (!record.is_object() || !record.contains(key)) return std::nullopt;
    return text_member(record, key);
}

Value value_of(const Json& j) {
    if (j.is_number_integer()) return Value::integer(j.get<long long>());
    if (j.is_number()) return Value::real(j.get<double>());
    if (j.is_array()) {
        std::vector<Value> items;
        for (const auto& item : j) items.push_back(value_of(item));
        return Value::list(std::move(items));
    }
    if (j.is_null()) return Value();
    return Value::text(value_text(j));
}

RenderNodeRecord render_node_from_json(const Json& j) {
    RenderNodeRecord r;
    r.node = text_member(j, "node");
    r.frames = text_member(j, "frames");
    r.of_stage = j.is_object() && !j.contains("camera");
    if (j.is_object() && j.contains("render_render_mode"))
        r.vray = VrayOutput{text_member(j, "img_save"), value_of(j["render_render_mode"]),
                            text_member(j, "render_export_mode"), text_member(j, "output_path")};
    r.camera = text_member(j, "camera");
    r.width = text_member(j, "width");
    r.height = text_member(j, "height");
    r.option = text_member(j, "option");
    r.render = text_member(j, "render");
    return r;
}

OutputNodeRecord output_node_from_json(const Json& j) {
    OutputNodeRecord r;
    r.node = text_member(j, "node");
    r.frames = optional_member(j, "frames");
    r.own_frames_only = !r.frames;
    r.option = text_member(j, "option");
    r.render = text_member(j, "render");
    return r;
}

SimulationRecord simulation_from_json(const Json& j) {
    SimulationRecord r;
    r.node = text_member(j, "node");
    r.output_driver = text_member(j, "output_driver");
    r.output_file = text_member(j, "output_file");
    r.slice_type = text_member(j, "sliceType");
    if (j.is_object() && j.contains("slicediv"))
        r.slice_divisions = value_of(j["slicediv"]).items();
    r.num_slices = optional_member(j, "num_slices");
    r.sim_control_name = optional_member(j, "simControlName");
    r.cluster_filter = optional_member(j, "cluster_filter");
    r.frames = text_member(j, "frames");
    r.option = text_member(j, "option");
    r.render = text_member(j, "render");
    return r;
}

template <typename Record, typename Read>
std::vector<Record> list_from_json(const Json& info, const char* key, Read read) {
    std::vector<Record> out;
    auto it = info.find(key);
    if (it == info.end() || !it->is_array()) return out;
    for (const auto& item : *it) out.push_back(read(item));
    return out;
}

}  // namespace

Json render_nodes_json(const std::vector<RenderNodeRecord>& records) {
    return list_json(records, render_node_json);
}

Json output_nodes_json(const std::vector<OutputNodeRecord>& records, Json shared) {
    Json out = Json::array();
    for (const auto& r : records) {
        if (r.own_frames_only) shared.erase("frames");
        shared["node"] = r.node;
        if (r.frames) shared["frames"] = *r.frames;
        shared["option"] = r.option;
        shared["render"] = r.render;
        out.push_back(shared);
    }
    return out;
}

Json simulations_json(const std::vector<SimulationRecord>& records) {
    return list_json(records, simulation_json);
}

Json scene_info_json(const SceneInfo& info) {
    Json j = Json::object();
    if (info.render_nodes_first) j["rop_node"] = nullptr;  // its place; the value follows
    j["geo_node"] = output_nodes_json(info.geo_node);
    j["rop_node"] = render_nodes_json(info.rop_node);
    j["distributedsim_node"] = simulations_json(info.distributedsim_node);
    return j;
}

Json task_record_json(const TaskRecord& task) {
    Json j = Json::object();
    if (task.scene_info) j["scene_info"] = scene_info_json(*task.scene_info);
    for (const auto& [key, text] : task.script_members) j[key] = Json::parse(text);
    return j;
}

Json render_setting_json(const RenderSetting& s) {
    Json j = Json::object();
    set_if(j, "start", s.start);
    set_if(j, "end", s.end);
    set_if(j, "lnc", s.lnc);
    set_if(j, "camera", s.camera);
    set_if(j, "img_save", s.img_save);
    set_if(j, "render_render_mode", s.render_mode);
    set_if(j, "output_path", s.output_path);
    if (s.motion_blur) j["Motion_Blur"] = value_json(*s.motion_blur);
    if (s.samples) j["samples"] = named_values_json(*s.samples);
    if (s.motion_blur_keys) j["Motion_Blur"] = named_values_json(*s.motion_blur_keys);
    return j;
}

Json render_settings_json(const RenderSettingsByName& settings) {
    Json j = Json::object();
    MemberIndex index;
    for (const auto& [name, setting] : settings.entries())
        index.member(j, name) = render_setting_json(setting);
    return j;
}

Json alembic_links_json(const std::vector<AlembicLink>& links) {
    Json j = Json::object();
    for (const auto& link : links)
        j[link.node] =
            Json::array({link.file, link.same_file ? 1 : 0, link.exists ? "exist" : "notexist"});
    return j;
}

Json camera_check_json(const CameraCheck& check) {
    auto findings = [](const std::vector<CameraFinding>& list) {
        return list_json(list, [](const CameraFinding& f) {
            if (!f.chain.empty()) return alembic_links_json(f.chain);
            return Json::object({{f.camera, f.exists ? "exist" : "notexist"}});
        });
    };
    Json j = Json::object();
    if (!check.normal.empty()) j["normal"] = findings(check.normal);
    if (!check.diff.empty()) j["diff"] = findings(check.diff);
    if (!check.miss.empty()) j["miss"] = findings(check.miss);
    return j;
}

std::vector<RenderNodeRecord> render_nodes_from_json(const Json& records) {
    std::vector<RenderNodeRecord> out;
    if (!records.is_array()) return out;
    for (const auto& item : records) out.push_back(render_node_from_json(item));
    return out;
}

SceneInfo scene_info_from_json(const Json& info) {
    SceneInfo out;
    if (!info.is_object()) return out;
    out.geo_node = list_from_json<OutputNodeRecord>(info, "geo_node", output_node_from_json);
    out.rop_node = list_from_json<RenderNodeRecord>(info, "rop_node", render_node_from_json);
    out.distributedsim_node =
        list_from_json<SimulationRecord>(info, "distributedsim_node", simulation_from_json);
    return out;
}

TaskRecord task_record_from_json(const Json& task) {
    TaskRecord out;
    if (!task.is_object()) return out;
    for (const auto& [key, value] : task.items()) {
        if (key == "scene_info" && value.is_object()) {
            out.scene_info = scene_info_from_json(value);
        } else {
            out.script_members.emplace_back(key, value.dump());
        }
    }
    return out;
}

}  // namespace scanflow
