// Geometry caches: the file lists they name in their "filenames" entries.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

// The file names of every "filenames" entry of a geometry file (ASCII or binary JSON, plain,
// gzip or Blosc), whose value is a bracketed list written as one string.
std::vector<std::string> geometry_file_lists(const std::string& path);
std::vector<std::string> geometry_file_lists_from(const std::string& data, const std::string& path);

}  // namespace scanflow
