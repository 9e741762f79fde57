#include "tasks/dependency_tasks.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/console.h"
#include "base/errors.h"
#include "run/task_file_json.h"
#include "tasks/dependency_tasks_json.h"

namespace scanflow {

namespace {

// A member that must be there; its absence fails the whole dependency-task step.
const Json& member(const Json& object, const std::string& key) {
    if (!object.is_object() || !object.contains(key)) throw Error("'" + key + "'", "KeyError");
    return object.at(key);
}

// Ordering of ids as the interpreter sorts them: numbers with numbers, texts with texts.
bool id_less(const Json& a, const Json& b) {
    if (a.is_number() && b.is_number()) return a.get<double>() < b.get<double>();
    if (a.is_string() && b.is_string()) return a.get<std::string>() < b.get<std::string>();
    throw Error("'<' not supported between ids " + a.dump() + " and " + b.dump(), "TypeError");
}

// Entries indexed by a key member; a later entry with the same key replaces an earlier one.
std::vector<std::pair<Json, Json>> index_by(const Json& list, const std::string& key) {
    std::vector<std::pair<Json, Json>> out;
    for (const auto& item : list) {
        const Json& k = member(item, key);
        auto it = std::find_if(out.begin(), out.end(), [&](const auto& p) { return p.first == k; });
        if (it != out.end()) {
            it->second = item;
        } else {
            out.emplace_back(k, item);
        }
    }
    return out;
}

const Json* lookup(const std::vector<std::pair<Json, Json>>& index, const Json& key) {
    for (const auto& [k, v] : index)
        if (k == key) return &v;
    return nullptr;
}

}  // namespace

DependencyTasks::DependencyTasks()
    : DependencyTasks(std::make_shared<const Document>(Document{Json::object()})) {}

DependencyTasks::DependencyTasks(std::shared_ptr<const Document> document)
    : document_(std::move(document)) {}

DependencyTasks DependencyTasks::empty_lists() {
    return dependency_tasks_of(
        Json::object({{"pre_task", Json::array()}, {"post_task", Json::array()}}));
}

DependencyTasks dependency_tasks_of(Json value) {
    return DependencyTasks(std::make_shared<const DependencyTasks::Document>(
        DependencyTasks::Document{std::move(value)}));
}

DependencyTasks configured_dependency_tasks(const TaskFile& task_file,
                                            const std::string& method_way) {
    const Json& info =
        member(task_document(task_file), method_way == "1" ? "argument_info" : "task_info");
    if (info.is_object() && info.contains("dependency_task"))
        return dependency_tasks_of(info.at("dependency_task"));
    return DependencyTasks::empty_lists();
}

SoftwareConfig software_config(const TaskFile& task_file) {
    const Json& config = member(task_document(task_file), "software_config");
    const Json& cg_name = member(config, "cg_name");
    const Json& cg_version = member(config, "cg_version");
    (void)member(config, "plugins");
    return SoftwareConfig{cg_name.is_string() ? cg_name.get<std::string>() : cg_name.dump(),
                          value_text(cg_version)};
}

SupportedTasks supported_tasks() {
    return {{"video_merge", "Houdini", 322}, {"video_merge_mov", "Houdini", 320}};
}

DependencyTasks clear_text_parameters(const DependencyTasks& tasks) {
    Json rely_task_dict = dependency_tasks_json(tasks);
    if (!rely_task_dict.is_object() || !rely_task_dict.contains("pre_task")) return tasks;
    for (auto& task : rely_task_dict["pre_task"]) {
        for (auto& parm : task.at("edit_value")) {
            const Json& type = member(parm, "paramType");
            if (type.is_number() && type.get<double>() == 2) parm["values"] = "";
        }
    }
    return dependency_tasks_of(std::move(rely_task_dict));
}

DependencyTasks scene_support_task(const SupportedTasks& supported, const std::string& cg_name,
                                   const std::vector<std::optional<std::string>>& layers) {
    auto id_of = [&](const char* kind) {
        for (const SupportedTask& task : supported)
            if (task.kind == kind && task.host == cg_name) return Json(task.id);
        return Json("");
    };
    Json layer_paths = Json::array();
    for (const auto& layer : layers) layer_paths.push_back(layer ? Json(*layer) : Json(nullptr));
    Json post = Json::array();
    for (const char* kind : {"video_merge", "video_merge_mov"}) {
        Json entry = Json::object();
        entry["id"] = id_of(kind);
        entry["create_tag"] = 3;
        entry["frames_name_list"] = Json::array({kind});
        entry["layers"] = layer_paths;
        post.push_back(entry);
    }
    return dependency_tasks_of(Json::object({{"pre_task", Json::array()}, {"post_task", post}}));
}

Json merge_lists(const Json& list1, const Json& list2, const std::string& cg_version) {
    Json result = Json::array();
    if (list1.empty() || list2.empty()) return result;
    auto index1 = index_by(list1, "id");
    auto index2 = index_by(list2, "id");
    std::vector<Json> ids;
    for (const auto& [id, item] : index2) ids.push_back(id);
    std::sort(ids.begin(), ids.end(), id_less);
    for (const auto& id : ids) {
        const Json* item1 = lookup(index1, id);
        if (!item1) {
            console::print_times("key_id=" + value_text(id) + " not in relytask setting");
            continue;
        }
        const Json& item2 = *lookup(index2, id);
        if (!item2.empty() && item1->contains("cg_version") &&
            !value_text(item1->at("cg_version")).empty()) {
            std::string versions = value_text(item1->at("cg_version"));
            bool supported = false;
            size_t start = 0;
            while (true) {
                size_t comma = versions.find(',', start);
                if (versions.substr(
                        start, comma == std::string::npos ? std::string::npos : comma - start) ==
                    cg_version)
                    supported = true;
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
            if (!supported) continue;
        }
        Json merged = item2.empty() ? Json::object({{"id", id}}) : item2;
        if (item1->contains("edit_value") && item2.contains("edit_value")) {
            merged["edit_value"] =
                merge_edit_value(item1->at("edit_value"), item2.at("edit_value"));
        } else if (item1->contains("edit_value")) {
            merged["edit_value"] = item1->at("edit_value");
        }
        for (const auto& [key, value] : item1->items())
            if (!item2.contains(key) && !merged.contains(key)) merged[key] = value;
        result.push_back(merged);
    }
    return result;
}

Json merge_edit_value(const Json& edit_value1, const Json& edit_value2) {
    auto index1 = index_by(edit_value1, "key");
    auto index2 = index_by(edit_value2, "key");
    std::vector<Json> keys;
    for (const auto* index : {&index1, &index2})
        for (const auto& [k, v] : *index)
            if (std::find(keys.begin(), keys.end(), k) == keys.end()) keys.push_back(k);
    std::sort(keys.begin(), keys.end(), id_less);
    Json result = Json::array();
    for (const auto& key : keys) {
        const Json* item1 = lookup(index1, key);
        const Json* item2 = lookup(index2, key);
        if (item1 && item2) {
            Json merged = *item2;
            for (const char* k : {"keyShow", "keyShowZh", "keyShowEn", "paramType"})
                if (item1->contains(k) && !merged.contains(k)) merged[k] = item1->at(k);
            if (item1->contains("values") && item2->contains("values")) {
                merged["values"] = merge_values(item1->at("values"), item2->at("values"));
            } else if (item1->contains("values")) {
                merged["values"] = item1->at("values");
            }
            result.push_back(merged);
        } else {
            result.push_back(item2 ? *item2 : *item1);
        }
    }
    return result;
}

Json merge_values(const Json& values1, const Json& values2) {
    auto index1 = index_by(values1, "value");
    auto index2 = index_by(values2, "value");
    Json result = Json::array();
    for (const auto& [value, choice] : index2) {
        Json merged = choice;
        if (const Json* other = lookup(index1, value))
            for (const char* k : {"valueShow", "valueShowZh", "valueShowEn"})
                if (other->contains(k) && !merged.contains(k)) merged[k] = other->at(k);
        result.push_back(merged);
    }
    return result;
}

DependencyTasks merge_dependency_tasks(const DependencyTasks& configured,
                                       const DependencyTasks& scene_support,
                                       const std::string& cg_version) {
    const Json& rely_task_dict = dependency_tasks_json(configured);
    const Json& support = dependency_tasks_json(scene_support);
    if (rely_task_dict.is_null() || rely_task_dict.empty()) {
        console::print_times("Warnning: Passing RelyTask! Origin dependency_task is " +
                             py_repr(rely_task_dict.is_null() ? Json::object() : rely_task_dict));
        return DependencyTasks();
    }
    auto listed = [&](const char* key) {
        return rely_task_dict.contains(key) ? rely_task_dict.at(key) : Json::array();
    };
    Json result = Json::object();
    result["pre_task"] = merge_lists(listed("pre_task"), support.at("pre_task"), cg_version);
    result["post_task"] = merge_lists(listed("post_task"), support.at("post_task"), cg_version);
    return dependency_tasks_of(std::move(result));
}

}  // namespace scanflow
