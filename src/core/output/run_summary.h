// A person's summary of a finished analysis, read back from the result files it wrote.
#pragma once

#include <string>
#include <vector>

namespace scanflow {

// The lines of the summary: files found and their size, files missing (the first ten, then a
// count), nested files read, render nodes with frames, camera and resolution, and the tips in
// words. A result file that is absent or unreadable leaves its part out.
std::vector<std::string> run_summary(const std::string& scene, const std::string& path_json);

}  // namespace scanflow
