// Dependency tasks: the tasks the user configured in the task file merged with those the scene
// supports (the video-merge post-tasks over its render nodes).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/task_file.h"

namespace scanflow {

// Pre- and post-task lists whose tasks are the client's own objects: the merge reads a task's
// id, host versions and parameters and keeps every other member as the client wrote it, so the
// tasks travel whole. Their JSON form is reached through tasks/dependency_tasks_json.h.
class DependencyTasks {
public:
    struct Document;

    // Nothing to merge: written as an empty object.
    DependencyTasks();
    explicit DependencyTasks(std::shared_ptr<const Document> document);
    // Empty pre- and post-task lists, what a task file that names none configures.
    static DependencyTasks empty_lists();

    const Document& document() const { return *document_; }

private:
    std::shared_ptr<const Document> document_;
};

// What the task file says of the host software; a missing member (the plug-ins included, which
// the run reads through TaskFile) is a KeyError naming it.
struct SoftwareConfig {
    std::string cg_name;     // as the table of supported tasks is keyed
    std::string cg_version;  // as the configured tasks list the versions they are for
};
SoftwareConfig software_config(const TaskFile& task_file);

// The id of the post-task of one kind that a host application supports.
struct SupportedTask {
    std::string kind;
    std::string host;
    int id;
};
using SupportedTasks = std::vector<SupportedTask>;
// The video merges, as image sequence and as movie.
SupportedTasks supported_tasks();

// The configured tasks: "dependency_task" of "argument_info" (`method_way` "1") or of
// "task_info"; empty pre- and post-task lists when it names none.
DependencyTasks configured_dependency_tasks(const TaskFile& task_file,
                                            const std::string& method_way);
// Parameters of type 2 (text) of the pre-tasks start empty.
DependencyTasks clear_text_parameters(const DependencyTasks& tasks);
// The post-tasks the scene supports over its render-node paths (`layers`; none for a record
// that names no node).
DependencyTasks scene_support_task(const SupportedTasks& supported, const std::string& cg_name,
                                   const std::vector<std::optional<std::string>>& layers);
// {"pre_task": [...], "post_task": [...]}, or nothing (with a printed warning) when nothing is
// configured.
DependencyTasks merge_dependency_tasks(const DependencyTasks& configured,
                                       const DependencyTasks& scene_support,
                                       const std::string& cg_version);

}  // namespace scanflow
