#include "drivers/rely_task.h"

#include "base/console.h"

namespace scanflow {

RelyTask::RelyTask(const TaskFile& task_json_dict,
                   std::vector<std::optional<std::string>> node_paths,
                   const std::string& method_way)
    : rely_task_dict(configured_dependency_tasks(task_json_dict, method_way)),
      layers(std::move(node_paths)) {
    init_rely_task_dict();
    console::print_times(std::string(42, '-'));
    SoftwareConfig config = software_config(task_json_dict);
    cg_name = std::move(config.cg_name);
    cg_version = std::move(config.cg_version);
    RELY_DICT = supported_tasks();
}

void RelyTask::init_rely_task_dict() {
    rely_task_dict = clear_text_parameters(rely_task_dict);
}

DependencyTasks RelyTask::get_scene_support_task() const {
    return scene_support_task(RELY_DICT, cg_name, layers);
}

DependencyTasks RelyTask::run() const {
    return merge_dependency_tasks(rely_task_dict, get_scene_support_task(), cg_version);
}

}  // namespace scanflow
