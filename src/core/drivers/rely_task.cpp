#include "drivers/rely_task.h"

#include "base/console.h"
#include "tasks/dependency_tasks.h"

namespace scanflow {

RelyTask::RelyTask(const Json& task_json_dict, const Json& scene_info,
                   const std::string& method_way)
    : rely_task_dict(configured_dependency_tasks(task_json_dict, method_way)) {
    init_rely_task_dict();
    scene_info_dict = scene_info;
    for (const auto& record : scene_info_dict)
        layers.push_back(record.is_object() && record.contains("node") ? record.at("node")
                                                                       : Json(nullptr));
    console::print_times(std::string(42, '-'));
    SoftwareConfig config = software_config(task_json_dict);
    cg_name = std::move(config.cg_name);
    cg_version = std::move(config.cg_version);
    plugins = std::move(config.plugins);
    RELY_DICT = Json::object(
        {{"video_merge", {{"Houdini", 322}}}, {"video_merge_mov", {{"Houdini", 320}}}});
}

void RelyTask::init_rely_task_dict() {
    clear_text_parameters(rely_task_dict);
}

Json RelyTask::get_scene_support_task() const {
    return scene_support_task(RELY_DICT, cg_name, layers);
}

Json RelyTask::merge_lists(const Json& list1, const Json& list2) const {
    return scanflow::merge_lists(list1, list2, cg_version);
}

Json RelyTask::merge_edit_value(const Json& edit_value1, const Json& edit_value2) const {
    return scanflow::merge_edit_value(edit_value1, edit_value2);
}

Json RelyTask::merge_values(const Json& values1, const Json& values2) const {
    return scanflow::merge_values(values1, values2);
}

Json RelyTask::run() const {
    return merge_dependency_tasks(rely_task_dict, get_scene_support_task(), cg_version);
}

}  // namespace scanflow
