#include "run/run_context.h"

#include "base/console.h"
#include "base/errors.h"
#include "base/os.h"
#include "base/text.h"
#include "run/module_state.h"
#include "run/task_file_json.h"

namespace scanflow {

namespace {

void make_result_directory(const std::string& path_json) {
    if (!path_json.empty() && os::is_dir(path_json)) return;
    std::string why;
    if (!os::make_directories(path_json, &why))
        throw FileError(path_json, "cannot create result directory '" + path_json + "': " + why);
}

// Platform and channel from the run parameters, else from the task file; the plug-in names.
void read_task_settings(const RunParameters& param_dict, RunContext& run) {
    run.platform = param_dict.text("platform");
    if (run.platform.empty()) run.platform = run.task_json_dict.platform();
    run.channel = param_dict.text("channel");
    if (run.channel.empty()) run.channel = run.task_json_dict.channel();
    run.user_plugins = run.task_json_dict.plugin_names();
}

}  // namespace

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
    run.task_json_dict = read_task_file(run.task_json_path);
    read_task_settings(param_dict, run);
    return run;
}

}  // namespace scanflow
