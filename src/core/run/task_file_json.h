// The task file's JSON form: read from its path, given by a host script, and handed to the
// readers of its members.
#pragma once

#include <string>

#include "run/task_file.h"
#include "util/json.h"

namespace scanflow {

struct TaskFile::Document {
    Json value;
};

// A file that is missing or not JSON is an error naming it.
TaskFile read_task_file(const std::string& path);
TaskFile task_file_of(Json document, std::string path);

inline const Json& task_document(const TaskFile& file) {
    return file.document().value;
}

}  // namespace scanflow
