// The files each file parameter stands for: the file itself, or the members of its sequence.
#pragma once

#include <string>
#include <vector>

#include "util/flavour.h"
#include "util/fs_cache.h"
#include "util/json.h"

namespace scanflow {

struct ParameterFiles {
    Json convert_node = Json::object();  // parameter path → its files (sorted members)
    Json missing_file = Json::object();  // parameter path → path as written, when none exists
    std::vector<std::string> files;      // every parameter's files, in order
    std::vector<std::string> nested;     // scene, proxy and cache files to open (sampled)
};

// From the scan's parameter-to-pattern map (`ALL_NODE`).
ParameterFiles collect_parameter_files(const Json& all_node, DirCache& listings, Flavour f);

}  // namespace scanflow
