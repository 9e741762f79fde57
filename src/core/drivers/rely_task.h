// The dependency-task merge as the system's class: the tasks configured in task.json and those
// the scene's render nodes support.
#pragma once

#include <string>

#include "util/json.h"

namespace scanflow {

class RelyTask {
public:
    // `method_way` is the run's channel: "1" reads "argument_info", anything else "task_info".
    RelyTask(const Json& task_json_dict, const Json& scene_info_dict,
             const std::string& method_way);

    void init_rely_task_dict();
    Json get_scene_support_task() const;
    Json merge_lists(const Json& list1, const Json& list2) const;
    Json merge_edit_value(const Json& edit_value1, const Json& edit_value2) const;
    Json merge_values(const Json& values1, const Json& values2) const;
    // {"pre_task": [...], "post_task": [...]}, or {} when nothing is configured.
    Json run() const;

    Json rely_task_dict;
    Json scene_info_dict;
    Json layers = Json::array();
    Json cg_name;
    Json cg_version;
    Json plugins;
    Json RELY_DICT;
};

}  // namespace scanflow
