// Pieces of the asset record and of the tips that the result writer computes itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "util/json.h"

namespace scanflow {

// "environment_dict": the host's JOB (null when unset) and the interpreter's version.
Json environment_record(const std::optional<std::string>& job, const std::string& python_ver);

// The scene must record the version that saved it, beginning with a number: an error naming
// the scene otherwise.
void require_save_version(const std::string& hip_file);

// "50001" (one line per missing parameter file, and the missing nested files) and "50105" (the
// problem nodes), each when not empty.
Json file_tips(const Json& missing_file, const std::vector<std::string>& problem_nodes);

// "scene_file_size", "asset_size", "asset_num" and "asset" (the distinct file-facts lines,
// sorted) of the upload record's assets.
void add_file_facts(Json& asset, const Json& upload, const std::string& hip_file);

}  // namespace scanflow
