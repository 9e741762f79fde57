// The dependency tasks' JSON form, and the merges of the task lists as a host script calls them
// on lists of its own.
#pragma once

#include <string>

#include "tasks/dependency_tasks.h"
#include "util/json.h"

namespace scanflow {

struct DependencyTasks::Document {
    Json value;
};

DependencyTasks dependency_tasks_of(Json value);
inline const Json& dependency_tasks_json(const DependencyTasks& tasks) {
    return tasks.document().value;
}

// Tasks present in both lists, by id in ascending order, those of the scene taking precedence;
// a task that names host versions is kept only for those.
Json merge_lists(const Json& list1, const Json& list2, const std::string& cg_version);
Json merge_edit_value(const Json& edit_value1, const Json& edit_value2);
Json merge_values(const Json& values1, const Json& values2);

}  // namespace scanflow
