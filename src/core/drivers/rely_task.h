// The dependency-task merge as the system's class: the tasks configured in task.json and those
// the scene's render nodes support.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run/task_file.h"
#include "tasks/dependency_tasks.h"

namespace scanflow {

class RelyTask {
public:
    // `layers` are the paths of the scene's render nodes; `method_way` is the run's channel:
    // "1" reads "argument_info", anything else "task_info".
    RelyTask(const TaskFile& task_json_dict, std::vector<std::optional<std::string>> layers,
             const std::string& method_way);

    void init_rely_task_dict();
    DependencyTasks get_scene_support_task() const;
    // The pre- and post-tasks, or nothing when nothing is configured.
    DependencyTasks run() const;

    DependencyTasks rely_task_dict;
    std::vector<std::optional<std::string>> layers;
    std::string cg_name;
    std::string cg_version;
    SupportedTasks RELY_DICT;
};

// The paths of render-node records, for `RelyTask`'s layers.
template <typename Records>
std::vector<std::optional<std::string>> render_node_paths(const Records& records) {
    std::vector<std::optional<std::string>> paths;
    for (const auto& record : records) paths.emplace_back(record.node);
    return paths;
}

}  // namespace scanflow
