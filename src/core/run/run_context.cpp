#include "run/run_context.h"

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "run/module_state.h"

namespace scanflow {

namespace {

// A task-file member that must exist, with an error naming the task file when it does not.
const Json& task_member(const Json& dict, const std::string& key, const std::string& task_path) {
    if (!dict.is_object() || !dict.contains(key))
        throw FileError(task_path, task_path + " has no \"" + key + "\"");
    return dict.at(key);
}

void make_result_directory(const std::string& path_json) {
    if (!path_json.empty() && os::is_dir(path_json)) return;
    std::string why;
    if (!os::make_directories(path_json, &why))
        throw FileError(path_json, "cannot create result directory '" + path_json + "': " + why);
}

// Platform and channel from the run parameters, else from the task file; the plug-in names.
void read_task_settings(const RunParameters& param_dict, RunContext& run) {
    const std::string& task = run.task_json_path;
    run.platform = param_dict.text("platform");
    if (run.platform.empty())
        run.platform = value_text(
            task_member(task_member(run.task_json_dict, "task_info", task), "platform", task));
    run.channel = param_dict.text("channel");
    if (run.channel.empty())
        run.channel = value_text(
            task_member(task_member(run.task_json_dict, "task_info", task), "channel", task));
    const Json& plugins =
        task_member(task_member(run.task_json_dict, "software_config", task), "plugins", task);
    if (plugins.is_object())
        for (const auto& item : plugins.items()) run.user_plugins.push_back(item.key());
}

}  // namespace

Json default_dependency_task() {
    Json d = Json::object();
    d["pre_task"] = Json::array();
    d["post_task"] = Json::array();
    return d;
}

RunContext open_run(const RunParameters& param_dict, const std::string& cwd, Flavour f) {
    RunContext run;
    run.current_os = ascii_lower(platform_system());
    if (!param_dict.has("hip_file"))
        throw Error("the run parameters have no \"hip_file\"", "KeyError");
    run.hip_file = absolute(param_dict.text("hip_file"), cwd, f);
    run.path_json = param_dict.text("path_json");
    if (const RunParameters::Member* given = param_dict.find("getaset")) run.getaset = *given;

    make_result_directory(run.path_json);
    std::string stars(30, '*');
    console::print(stars + run.hip_file + stars);
    console::print(stars + run.path_json + stars);

    run.uploads_json_path = run.path_json + "/upload.json";
    run.asset_json_path = run.path_json + "/asset.json";
    run.tips_json_path = run.path_json + "/tips.json";
    run.task_json_path = run.path_json + "/task.json";
    run.success_file = run.path_json + "/" + kSuccessMarker;
    run.task_json_dict = read_json_file(run.task_json_path);
    read_task_settings(param_dict, run);
    return run;
}

}  // namespace scanflow
