// The merge of the analysis results into the client's task file.
#pragma once

#include <string>
#include <vector>

#include "util/json.h"

namespace scanflow {

struct TaskMerge {
    std::string python_ver;  // the interpreter's "pyXY"
    std::string channel;     // "4" also writes "scene_info_render"
    std::string houdiniver;
    Json info_dict;
    Json rely_task_dict;
    std::vector<std::string> otls_path;
};

// Sets the software versions, the asset libraries, the scene information and the dependency
// tasks in `info_file`; every other member stays. Never fails outward: problems are printed and
// the file stays as it was.
void Write_File(const std::string& info_file, const TaskMerge& merge);

}  // namespace scanflow
