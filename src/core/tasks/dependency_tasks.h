// Dependency tasks: the tasks the user configured in task.json merged with those the scene
// supports (the video-merge post-tasks over its render nodes).
#pragma once

#include <string>

#include "util/json.h"

namespace scanflow {

// The configured tasks: "dependency_task" of "argument_info" (`method_way` "1") or of
// "task_info"; empty pre- and post-task lists when it names none.
Json configured_dependency_tasks(const Json& task_json_dict, const std::string& method_way);
// What the task file says of the host software; a missing member is a KeyError.
struct SoftwareConfig {
    Json cg_name, cg_version, plugins;
};
SoftwareConfig software_config(const Json& task_json_dict);
// Parameters of type 2 (text) of the pre-tasks start empty.
void clear_text_parameters(Json& rely_task_dict);
// The post-tasks the scene supports over its render-node paths (`layers`).
Json scene_support_task(const Json& rely_dict, const Json& cg_name, const Json& layers);

// Tasks present in both lists, by id in ascending order, those of the scene taking precedence;
// a task that names host versions is kept only for those.
Json merge_lists(const Json& list1, const Json& list2, const Json& cg_version);
Json merge_edit_value(const Json& edit_value1, const Json& edit_value2);
Json merge_values(const Json& values1, const Json& values2);

// {"pre_task": [...], "post_task": [...]}, or {} (with a printed warning) when nothing is
// configured.
Json merge_dependency_tasks(const Json& rely_task_dict, const Json& scene_support,
                            const Json& cg_version);

}  // namespace scanflow
