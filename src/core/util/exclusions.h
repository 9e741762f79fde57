// Exclusion filters: protected farm paths, and digital-asset libraries under the host's own
// search paths.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "util/environment.h"
#include "util/flavour.h"

namespace scanflow {

// Lower-cases `prefixes` in place, then returns `path` when it begins with one of them.
std::optional<std::string> search_unavailable_path(const std::string& path,
                                                   std::vector<std::string>& prefixes);
// Directories whose asset libraries are the host's own: entries of PXR_PLUGINPATH_NAME and
// HOUDINI_PATH, and HH (nullopt when HH is unset). Distinct entries.
std::vector<std::optional<std::string>> filter_otls_path(const Environment& env, Flavour f);
// (kept library directories, kept library files). An absent prefix is an error.
std::pair<std::vector<std::string>, std::vector<std::string>> filter_excluded_paths(
    const std::vector<std::optional<std::string>>& filter_path,
    const std::vector<std::string>& otls_assetpath, Flavour f);

}  // namespace scanflow
