// Geometry caches: the file lists they name in their "filenames" entries.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

// The file names of every "filenames" entry of a geometry file (ASCII JSON, or binary JSON with
// its token table), whose value is a bracketed list written as one string. Streams the file.
std::vector<std::string> geometry_file_lists(const std::string& path);
std::vector<std::string> geometry_file_lists_from(const std::string& data, const std::string& path);

}  // namespace scanflow
