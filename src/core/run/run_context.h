// What one analysis object keeps from its construction to its end: the result paths, the task
// file, platform, channel, the configured plug-ins, the tips and tasks it collects, and the
// nested files it has read.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "run/run_parameters.h"
#include "run/scene_records.h"
#include "run/task_file.h"
#include "run/tips.h"
#include "util/confinement.h"
#include "util/flavour.h"

namespace scanflow {

// The file whose presence tells the client that the analysis succeeded.
inline constexpr const char* kSuccessMarker = "analyze_sucess";

struct RunContext {
    std::string current_os;  // lower case: "linux", "windows"
    std::string hip_file;
    std::string path_json;
    std::optional<RunParameters::Member> getaset;  // as the run parameters give it
    std::string uploads_json_path;
    std::string asset_json_path;
    std::string tips_json_path;
    std::string task_json_path;
    std::string success_file;  // kSuccessMarker in the result directory
    TaskFile task_json_dict;
    std::string platform;
    std::string channel;
    std::vector<std::string> user_plugins;
    Tips tips_adict;
    TaskRecord task_adict;
    // Files already read in this run, so that each is read once.
    std::set<std::string> rs_asseted;  // Redshift proxies
    std::set<std::string> all_ass;     // nested scene files, and the sequence patterns analysed
    std::set<std::string> all_bgeo;    // geometry caches
    std::set<std::string> all_bgeosc;  // compressed geometry caches
    // Set when the run is confined to roots; null otherwise.
    std::shared_ptr<const Confinement> confinement;
};

// The shared construction of every analysis object: `param_dict` must hold "hip_file" and
// "path_json"; the result directory is created when missing, the two banners are printed and
// task.json is read from it (platform and channel from `param_dict` when given). A relative scene
// path is made absolute against `cwd`, as the host makes the scene's location absolute: every
// path derived from it must name the same files wherever the run was started.
RunContext open_run(const RunParameters& param_dict, const std::string& cwd, Flavour f);

}  // namespace scanflow
